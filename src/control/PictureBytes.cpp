#include "control/PictureBytes.h"

#include <cstdint>
#include <span>

#include "imaging/ImageDecoder.h"
#include "imaging/ImageError.h"
#include "imaging/ImageSource.h"
#include "imaging/ReductionSink.h"

namespace {

std::span<const std::uint8_t> Bytes(std::string_view bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

}  // namespace

std::string PictureExtension(std::string_view bytes) {
  switch (DetectImageFormat(Bytes(bytes))) {
    case ImageFormat::kBmp:
      return ".bmp";
    case ImageFormat::kJpeg:
      return ".jpg";
    case ImageFormat::kPng:
      return ".png";
    case ImageFormat::kGif:
      return ".gif";
    case ImageFormat::kWebp:
      return ".webp";
    case ImageFormat::kUnknown:
      break;
  }
  return {};
}

std::vector<std::uint32_t> ReducePictureBytes(std::string_view bytes, int maxWidth, int maxHeight, int* width,
                                              int* height, std::string* reason, int* sourceWidth,
                                              int* sourceHeight) {
  ReductionSink sink([&](const RowLayout& layout) {
    if (sourceWidth != nullptr) *sourceWidth = layout.width;
    if (sourceHeight != nullptr) *sourceHeight = layout.height;
    const bool fits = layout.width <= maxWidth && layout.height <= maxHeight;
    return fits ? std::pair{layout.width, layout.height} : std::pair{maxWidth, maxHeight};
  });
  MemoryImageSource source(Bytes(bytes));
  ImageError error;
  if (!DecodeImageRows(source, sink, &error)) {
    *reason = error.detail;
    return {};
  }
  std::vector<std::uint32_t> pixels = sink.Finish(width, height);
  if (pixels.empty()) *reason = "the picture's rows did not all arrive";
  return pixels;
}
