#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "search/GridTransform.h"

// A picture at the fine level that confirmation compares at: kSide x kSide
// pixels of red, green and blue (0..255, transparent parts on white, as the
// site shows them), the picture stretched to a square whatever its shape, so
// that a change of size or aspect changes nothing.
class PictureDetail {
 public:
  static constexpr int kSide = 64;
  // At most this many pixels are decoded per side before the reduction, so
  // a huge picture costs no more than a large one.
  static constexpr int kDecodeSide = 256;

  PictureDetail() = default;

  // From a picture file's bytes; false with a one-line reason when they
  // hold no picture the program decodes.
  static bool FromBytes(std::string_view bytes, PictureDetail* out, std::string* reason);
  // From the picture file at `path`, decoded row by row: a query picture,
  // so a white frame round it is found too (Unframed).
  static bool FromFile(const std::string& path, PictureDetail* out, std::string* reason);
  // From pixels 0xAARRGGBB, top row first (any size of at least one pixel),
  // of a picture whose shape is `aspect` (width / height; 0: that of the
  // pixels given, which may have been brought down to a square).
  static PictureDetail FromPixels(const std::uint32_t* argb, int width, int height, double aspect = 0);

  // Channel c (0 red, 1 green, 2 blue) at pixel (x, y).
  float At(int x, int y, int c) const { return values_[(static_cast<std::size_t>(y) * kSide + x) * 3 + c]; }
  // The picture turned or mirrored by `transform` (GridTransform's meaning).
  PictureDetail Transformed(GridTransform transform) const;
  // Every pixel's channels within a few levels of each other.
  bool IsGray() const;
  // The picture's width / height before it was stretched to a square: a
  // small turn of the picture moves its pixels by this shape.
  double Aspect() const { return aspect_; }
  // The picture without the white frame round it (WhiteFrame), when it was
  // read from a file and has one; a poster's frame can be wider than the
  // frames a likeness tries, and as wide on every side in pixels, not in
  // shares of the side.
  const PictureDetail* Unframed() const { return unframed_.get(); }

 private:
  std::array<float, kSide * kSide * 3> values_{};
  double aspect_ = 1;
  std::shared_ptr<const PictureDetail> unframed_;
};
