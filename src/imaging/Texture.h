#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Pixel layouts a texture can be asked for. Our textures always hold
// 0xAARRGGBB words; the layout only decides whether alpha is kept.
enum class TextureFormat {
  kR8G8B8,     // opaque, 8 bits per colour (the signature texture)
  kR8G8_B8G8,  // opaque; the preview's packed layout, kept at full colour here
  kA8R8G8B8,   // 8 bits per colour and alpha
};

// An immutable picture owned by the graphics component, shared through
// std::shared_ptr. Being immutable, any thread may read it at any time.
class Texture {
 public:
  // `pixels` must hold width * height words, row-major, top row first.
  Texture(int width, int height, std::vector<std::uint32_t> pixels);
  Texture(const Texture&) = delete;
  Texture& operator=(const Texture&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }
  // width * height pixels, 0xAARRGGBB, row-major, top row first.
  const std::uint32_t* Pixels() const { return pixels_.data(); }
  // REQUIRES: 0 <= x < Width(), 0 <= y < Height().
  std::uint32_t Pixel(int x, int y) const {
    return pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
  }

 private:
  int width_;
  int height_;
  std::vector<std::uint32_t> pixels_;
};
