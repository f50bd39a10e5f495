#pragma once

#include <array>
#include <cstdint>
#include <string>

// One colour signature: the picture reduced to 3 x 3 pixels, 27 values in the
// order top-left red, green, blue, top-middle red, green, blue, ..., bottom-right.
// A fresh object holds 27 zeros and an empty text.
class ImageCache {
 public:
  static constexpr int kValueCount = 27;
  using Colours = std::array<std::int32_t, kValueCount>;

  ImageCache() = default;
  virtual ~ImageCache() = default;

  // Computes `colours` and `cacheText` from the image file at `path`. On
  // failure returns false, leaves both as they were and has logged why.
  virtual bool LoadImage(const std::string& path) = 0;

  // Sets cacheText to the 27 values in decimal, each followed by a comma.
  void MakeCacheText();

  Colours colours{};
  std::string cacheText;
};
