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

ReductionSink::SizeChooser AtMost(int maxWidth, int maxHeight, int* sourceWidth, int* sourceHeight) {
  return [=](const RowLayout& layout) {
    if (sourceWidth != nullptr) *sourceWidth = layout.width;
    if (sourceHeight != nullptr) *sourceHeight = layout.height;
    const bool fits = layout.width <= maxWidth && layout.height <= maxHeight;
    return fits ? std::pair{layout.width, layout.height} : std::pair{maxWidth, maxHeight};
  };
}

std::array<double, 3> OnWhite(std::uint32_t argb) {
  const double alpha = (argb >> 24) / 255.0;
  std::array<double, 3> rgb{};
  for (int c = 0; c < 3; ++c) rgb[c] = alpha * ((argb >> (16 - 8 * c)) & 0xFF) + (1 - alpha) * 255;
  return rgb;
}

namespace {

// Decodes through `decode` (a source into the sink) and brings the picture
// down as ReducePictureBytes says.
template <class Decode>
std::vector<std::uint32_t> Reduce(const Decode& decode, int maxWidth, int maxHeight, int* width, int* height,
                                  std::string* reason, int* sourceWidth, int* sourceHeight) {
  ReductionSink sink(AtMost(maxWidth, maxHeight, sourceWidth, sourceHeight));
  ImageError error;
  if (!decode(sink, &error)) {
    *reason = error.detail;
    return {};
  }
  std::vector<std::uint32_t> pixels = sink.Finish(width, height);
  if (pixels.empty()) *reason = "the picture's rows did not all arrive";
  return pixels;
}

}  // namespace

std::vector<std::uint32_t> ReducePictureBytes(std::string_view bytes, int maxWidth, int maxHeight, int* width,
                                              int* height, std::string* reason, int* sourceWidth,
                                              int* sourceHeight) {
  return Reduce(
      [bytes](RowSink& sink, ImageError* error) {
        MemoryImageSource source(Bytes(bytes));
        return DecodeImageRows(source, sink, error);
      },
      maxWidth, maxHeight, width, height, reason, sourceWidth, sourceHeight);
}

std::vector<std::uint32_t> ReducePictureFile(const std::string& path, int maxWidth, int maxHeight, int* width,
                                             int* height, std::string* reason, int* sourceWidth,
                                             int* sourceHeight) {
  return Reduce([&path](RowSink& sink, ImageError* error) { return DecodeImageFileRows(path, sink, error); },
                maxWidth, maxHeight, width, height, reason, sourceWidth, sourceHeight);
}
