#include "imaging/FileImageSource.h"

#include <optional>

FileImageSource::~FileImageSource() = default;

bool FileImageSource::Open(const std::string& path, ImageError* error) {
  // Only a regular file is opened: opening a FIFO waits for a writer, and a
  // device may have side effects or never end. The file layer refuses
  // anything else without waiting on it.
  std::string why;
  file_ = NativeFile::OpenForReading(path, NativeFile::Links::kFollow, &why);
  if (!file_.IsOpen()) {
    return ImageError::Fail(error, ImageErrorKind::kCannotOpen,
                            why == "not a regular file" ? why : "cannot open the file: " + why);
  }
  const std::optional<std::uint64_t> size = file_.Size();
  if (!size) return ImageError::Fail(error, ImageErrorKind::kCannotOpen, "cannot read the file's size");
  size_ = *size;
  if (size_ == 0) return ImageError::Fail(error, ImageErrorKind::kEmptyFile, "empty file");
  if (size_ > kMaxImageFileBytes) return ImageError::Fail(error, ImageErrorKind::kFileTooLarge, "file too large");
  // The decoders read front to back; ask for a generous read-ahead.
  file_.AdviseSequential();
  return true;
}

std::size_t FileImageSource::Read(std::uint8_t* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const long long got = file_.Read(reinterpret_cast<char*>(buffer) + done, size - done);
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

bool FileImageSource::ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t size) {
  return file_.ReadAt(offset, reinterpret_cast<char*>(buffer), size);
}
