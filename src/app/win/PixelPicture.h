#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A decoded picture ready to be drawn: pixels 0xAARRGGBB, top row first (in
// memory the 32-bit top-down layout a device-independent bitmap takes).
class PixelPicture {
 public:
  PixelPicture() = default;
  PixelPicture(int width, int height, std::vector<std::uint32_t> pixels);

  // The picture file at `path` (UTF-8) or held in `bytes`, decoded row by row
  // and brought down to at most width x height pixels (stretched to that
  // size when larger, as the boxes show it). Empty, with a one-line reason,
  // when it cannot be decoded. Any thread.
  static PixelPicture FromFile(const std::string& path, int width, int height, std::string* reason);
  static PixelPicture FromBytes(std::string_view bytes, int width, int height, std::string* reason);
  // The 3 x 3 colours (red, green, blue, row by row) as cells of `cell` pixels.
  static PixelPicture Swatch(const std::int32_t* colours, int cell);

  bool Empty() const { return pixels_.empty(); }
  int Width() const { return width_; }
  int Height() const { return height_; }
  std::uint32_t Pixel(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * width_ + x]; }

  // Draws the picture over `target`: pixel for pixel when the sizes agree,
  // otherwise stretched with the device's halftone filter.
  void Draw(HDC dc, const RECT& target) const;
  // A device-dependent bitmap of the picture, for image lists; null when empty.
  HBITMAP MakeBitmap(HDC dc) const;

 private:
  BITMAPINFO Header() const;

  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint32_t> pixels_;
};
