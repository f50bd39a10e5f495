#include "control/PictureBytes.h"

#include <cstdint>
#include <span>

#include "imaging/ImageDecoder.h"

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

bool DecodePictureBytes(std::string_view bytes, DecodedImage* out, std::string* reason) {
  return DecodeImage(Bytes(bytes), out, reason);
}
