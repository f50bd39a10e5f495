#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>

#include "imaging/DecodedImage.h"
#include "imaging/ImageWriter.h"

// Pictures made in memory for the imaging tests.
namespace pictures {

using Rgba = std::array<std::uint8_t, 4>;

inline DecodedImage Make(int width, int height, const std::function<Rgba(int x, int y)>& colour) {
  DecodedImage image;
  image.Allocate(width, height, false);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgba c = colour(x, y);
      std::copy(c.begin(), c.end(), image.Row8(y) + x * 4);
    }
  }
  return image;
}

inline DecodedImage Solid(int width, int height, Rgba colour) {
  return Make(width, height, [&](int, int) { return colour; });
}

inline DecodedImage Random(int width, int height, std::mt19937& random) {
  std::uniform_int_distribution<int> byte(0, 255);
  return Make(width, height, [&](int, int) {
    return Rgba{static_cast<std::uint8_t>(byte(random)), static_cast<std::uint8_t>(byte(random)),
                static_cast<std::uint8_t>(byte(random)), static_cast<std::uint8_t>(byte(random))};
  });
}

// A smooth picture with a few colours per row, for lossy formats.
inline DecodedImage Gradient(int width, int height) {
  return Make(width, height, [&](int x, int y) {
    return Rgba{static_cast<std::uint8_t>(x * 255 / std::max(1, width - 1)),
                static_cast<std::uint8_t>(y * 255 / std::max(1, height - 1)), 96, 255};
  });
}

inline std::string Bmp(const DecodedImage& image) {
  std::string bytes;
  ImageWriter::EncodeBmp(image, &bytes);
  return bytes;
}
inline std::string Png(const DecodedImage& image, ImageWriter::PngOptions options = {}) {
  std::string bytes;
  ImageWriter::EncodePng(image, &bytes, options);
  return bytes;
}
inline std::string Jpeg(const DecodedImage& image, int quality = 95) {
  std::string bytes;
  ImageWriter::JpegOptions options;
  options.quality = quality;
  ImageWriter::EncodeJpeg(image, &bytes, options);
  return bytes;
}
inline std::string Gif(const DecodedImage& image, ImageWriter::GifOptions options = {}) {
  std::string bytes;
  ImageWriter::EncodeGif(image, &bytes, options);
  return bytes;
}

}  // namespace pictures
