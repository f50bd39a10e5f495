#include "imaging/ImageDecoder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/BmpDecoder.h"
#include "imaging/GifDecoder.h"
#include "imaging/JpegDecoder.h"
#include "imaging/PngDecoder.h"
#include "imaging/WebpDecoder.h"

namespace {

bool Fail(std::string* error, const std::string& reason) {
  if (error) *error = reason;
  return false;
}

bool StartsWith(std::span<const std::uint8_t> data, const char* magic, size_t offset = 0) {
  const size_t length = std::strlen(magic);
  return data.size() >= offset + length && std::memcmp(data.data() + offset, magic, length) == 0;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

ImageFormat DetectImageFormat(std::span<const std::uint8_t> data) {
  if (data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return ImageFormat::kJpeg;
  if (StartsWith(data, "\x89PNG\r\n\x1a\n")) return ImageFormat::kPng;
  if (StartsWith(data, "GIF87a") || StartsWith(data, "GIF89a")) return ImageFormat::kGif;
  if (StartsWith(data, "RIFF") && StartsWith(data, "WEBP", 8)) return ImageFormat::kWebp;
  if (StartsWith(data, "BM")) return ImageFormat::kBmp;
  return ImageFormat::kUnknown;
}

bool DecodeImage(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error) {
  switch (DetectImageFormat(data)) {
    case ImageFormat::kJpeg:
      return DecodeJpeg(data, out, error);
    case ImageFormat::kPng:
      return DecodePng(data, out, error);
    case ImageFormat::kGif:
      return DecodeGif(data, out, error);
    case ImageFormat::kWebp:
      return DecodeWebp(data, out, error);
    case ImageFormat::kBmp:
      return DecodeBmp(data, out, error);
    case ImageFormat::kUnknown:
      break;
  }
  return Fail(error, data.empty() ? "empty file" : "not a picture in a known format");
}

bool DecodeImageFile(const std::string& path, DecodedImage* out, std::string* error) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return Fail(error, std::string("cannot open the file: ") + std::strerror(errno));
  struct stat status {};
  if (fstat(fileno(file.get()), &status) != 0) return Fail(error, "cannot read the file's size");
  if (!S_ISREG(status.st_mode)) return Fail(error, "not a regular file");
  if (static_cast<std::uint64_t>(status.st_size) > kMaxImageFileBytes) return Fail(error, "file too large");
  std::vector<std::uint8_t> bytes(static_cast<size_t>(status.st_size));
  if (!bytes.empty() && std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    return Fail(error, "cannot read the file");
  }
  return DecodeImage(bytes, out, error);
}
