#include "imaging/ImageDecoder.h"

#include <cstring>

#include "imaging/BmpDecoder.h"
#include "imaging/DecodedImageSink.h"
#include "imaging/FileImageSource.h"
#include "imaging/GifDecoder.h"
#include "imaging/JpegDecoder.h"
#include "imaging/PngDecoder.h"
#include "imaging/WebpDecoder.h"

namespace {

bool StartsWith(std::span<const std::uint8_t> data, const char* magic, size_t offset = 0) {
  const size_t length = std::strlen(magic);
  return data.size() >= offset + length && std::memcmp(data.data() + offset, magic, length) == 0;
}

}  // namespace

ImageFormat DetectImageFormat(std::span<const std::uint8_t> data) {
  if (data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return ImageFormat::kJpeg;
  if (StartsWith(data, "\x89PNG\r\n\x1a\n")) return ImageFormat::kPng;
  if (StartsWith(data, "GIF87a") || StartsWith(data, "GIF89a")) return ImageFormat::kGif;
  if (StartsWith(data, "RIFF") && StartsWith(data, "WEBP", 8)) return ImageFormat::kWebp;
  if (StartsWith(data, "BM")) return ImageFormat::kBmp;
  return ImageFormat::kUnknown;
}

bool DecodeImageRows(ImageSource& input, RowSink& sink, ImageError* error) {
  std::uint8_t head[12] = {};
  const size_t headBytes = input.Size() < sizeof head ? static_cast<size_t>(input.Size()) : sizeof head;
  if (headBytes == 0) return ImageError::Fail(error, ImageErrorKind::kEmptyFile, "empty file");
  if (!input.ReadAt(0, head, headBytes)) return ImageError::Fail(error, ImageErrorKind::kCannotOpen, "cannot read the file");
  switch (DetectImageFormat(std::span<const std::uint8_t>(head, headBytes))) {
    case ImageFormat::kJpeg:
      return DecodeJpeg(input, sink, error);
    case ImageFormat::kPng:
      return DecodePng(input, sink, error);
    case ImageFormat::kGif:
      return DecodeGif(input, sink, error);
    case ImageFormat::kWebp:
      return DecodeWebp(input, sink, error);
    case ImageFormat::kBmp:
      return DecodeBmp(input, sink, error);
    case ImageFormat::kUnknown:
      break;
  }
  return ImageError::Fail(error, ImageErrorKind::kUnknownFormat, "not a picture in a known format");
}

bool DecodeImageFileRows(const std::string& path, RowSink& sink, ImageError* error) {
  FileImageSource file;
  if (!file.Open(path, error)) return false;
  return DecodeImageRows(file, sink, error);
}

bool DecodeImage(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error) {
  return DecodeWhole(DecodeImageRows, data, out, error);
}

bool DecodeImageFile(const std::string& path, DecodedImage* out, std::string* error) {
  DecodedImageSink sink(out);
  ImageError failure;
  if (DecodeImageFileRows(path, sink, &failure)) return true;
  if (error) *error = failure.detail;
  return false;
}
