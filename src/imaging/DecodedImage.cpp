#include "imaging/DecodedImage.h"

bool DecodedImage::SizeAcceptable(std::uint64_t width, std::uint64_t height) {
  if (width == 0 || height == 0) return false;
  if (width > kMaxPixelCount || height > kMaxPixelCount) return false;
  return width * height <= kMaxPixelCount;
}

void DecodedImage::Allocate(int width, int height, bool sixteenBit) {
  width_ = width;
  height_ = height;
  sixteenBit_ = sixteenBit;
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
  samples8_.clear();
  samples16_.clear();
  samples8_.shrink_to_fit();
  samples16_.shrink_to_fit();
  if (sixteenBit) {
    samples16_.assign(count, 0);
    channelMax_ = {65535, 65535, 65535, 65535};
  } else {
    samples8_.assign(count, 0);
    channelMax_ = {255, 255, 255, 255};
  }
}

std::uint16_t DecodedImage::Sample(int x, int y, int c) const {
  const size_t index = RowOffset(y) + static_cast<size_t>(x) * 4 + static_cast<size_t>(c);
  return sixteenBit_ ? samples16_[index] : samples8_[index];
}

std::array<std::uint8_t, 4> DecodedImage::Rgba8(int x, int y) const {
  std::array<std::uint8_t, 4> out{};
  for (int c = 0; c < 4; ++c) {
    const std::uint32_t max = channelMax_[static_cast<size_t>(c)];
    const std::uint32_t v = Sample(x, y, c);
    if (max == 255) {
      out[static_cast<size_t>(c)] = static_cast<std::uint8_t>(v);
    } else if (max == 0) {
      out[static_cast<size_t>(c)] = 0;
    } else {
      const std::uint32_t clamped = v > max ? max : v;
      out[static_cast<size_t>(c)] = static_cast<std::uint8_t>((clamped * 255 + max / 2) / max);
    }
  }
  return out;
}
