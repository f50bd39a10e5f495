#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/DecodedImage.h"
#include "imaging/ImageError.h"
#include "imaging/RowSink.h"

class ImageSource;

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

// The whole-picture form of a streaming decoder: decodes `data` with
// `decode` into *out; on failure *error (when given) holds the decoder's
// detail. What every format's in-memory Decode* function does.
using StreamingDecoder = bool (*)(ImageSource&, RowSink&, ImageError*);
bool DecodeWhole(StreamingDecoder decode, std::span<const std::uint8_t> data, DecodedImage* out, std::string* error);
