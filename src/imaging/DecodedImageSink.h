#pragma once

#include <cstdint>

#include "imaging/DecodedImage.h"
#include "imaging/RowSink.h"

// A RowSink that keeps the whole picture in a DecodedImage: for tests, the
// fuzz targets and whatever needs every pixel at once. `maxPixels` lets a
// caller refuse pictures below the decoders' own limit.
class DecodedImageSink : public RowSink {
 public:
  explicit DecodedImageSink(DecodedImage* image, std::uint64_t maxPixels = DecodedImage::kMaxPixelCount)
      : image_(image), maxPixels_(maxPixels) {}

  bool Begin(const RowLayout& layout) override;
  void* NextRow() override;
  void CommitRow() override { ++row_; }

 private:
  DecodedImage* image_;
  std::uint64_t maxPixels_;
  int row_ = 0;
};
