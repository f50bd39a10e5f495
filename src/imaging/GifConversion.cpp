#include "imaging/GifConversion.h"

#include "imaging/ImageWriter.h"
#include "imaging/ToLower.h"

bool IsGifPath(const std::string& path) { return ToLower(path).find(".gif") != std::string::npos; }

std::string TemporaryBmpName(const std::string& path) {
  const std::string stem = path.size() >= 3 ? path.substr(0, path.size() - 3) : std::string();
  return stem + "bmp";
}

ScratchFile ReserveTemporaryBmp(const std::string& path) {
  const std::string stem = path.size() >= 3 ? path.substr(0, path.size() - 3) : std::string();
  return ScratchFile::Reserve(stem + "bmp", stem, ".bmp");
}

bool WriteTemporaryBmp(const DecodedImage& image, const ScratchFile& file) {
  if (!file.Ok() || image.Empty()) return false;
  std::string bytes;
  return ImageWriter::EncodeBmp(image, &bytes) && WriteBytesToFile(file.Path(), bytes);
}
