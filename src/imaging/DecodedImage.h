#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// A decoded picture: width x height pixels of red, green, blue and alpha
// samples, row-major, top row first. Samples are stored in 8 or 16 bits; each
// channel has its own maximum (255 for ordinary 8-bit pictures, 65535 for
// 16-bit PNG, 31 for a 5-bit BMP field), which stands for full intensity.
// Pictures without alpha carry the alpha maximum. Move-only in practice (the
// buffers are large); copying is allowed for tests.
class DecodedImage {
 public:
  // Largest accepted width * height. Decoders refuse bigger pictures before
  // allocating for them. Pictures are reduced as they are decoded, so this
  // bounds time, not memory, except where a whole DecodedImage is kept.
  static constexpr std::uint64_t kMaxPixelCount = 250'000'000;

  DecodedImage() = default;

  // True when width * height is positive and within kMaxPixelCount.
  static bool SizeAcceptable(std::uint64_t width, std::uint64_t height);

  // Sets the size and storage depth and allocates zeroed samples; the channel
  // maxima become 255 (8-bit) or 65535 (16-bit). REQUIRES: SizeAcceptable.
  void Allocate(int width, int height, bool sixteenBit);

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool SixteenBit() const { return sixteenBit_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }

  // Maximum sample value of each channel (red, green, blue, alpha).
  const std::array<std::uint16_t, 4>& ChannelMax() const { return channelMax_; }
  void SetChannelMax(const std::array<std::uint16_t, 4>& max) { channelMax_ = max; }

  // Row `y`: Width() * 4 samples, red, green, blue, alpha per pixel. Use the
  // accessor that matches SixteenBit().
  std::uint8_t* Row8(int y) { return samples8_.data() + RowOffset(y); }
  const std::uint8_t* Row8(int y) const { return samples8_.data() + RowOffset(y); }
  std::uint16_t* Row16(int y) { return samples16_.data() + RowOffset(y); }
  const std::uint16_t* Row16(int y) const { return samples16_.data() + RowOffset(y); }

  // Sample of channel c (0 red .. 3 alpha) at (x, y), whatever the depth.
  std::uint16_t Sample(int x, int y, int c) const;
  // The pixel's red, green and blue scaled to 0..255 (rounded), for writers
  // of 8-bit files.
  std::array<std::uint8_t, 4> Rgba8(int x, int y) const;

 private:
  size_t RowOffset(int y) const {
    return static_cast<size_t>(y) * static_cast<size_t>(width_) * 4;
  }

  int width_ = 0;
  int height_ = 0;
  bool sixteenBit_ = false;
  std::array<std::uint16_t, 4> channelMax_{255, 255, 255, 255};
  std::vector<std::uint8_t> samples8_;
  std::vector<std::uint16_t> samples16_;
};
