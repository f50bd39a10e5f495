#pragma once

#include <cstdint>
#include <string>

#include "imaging/ImageError.h"
#include "imaging/ImageSource.h"
#include "infra/NativeFile.h"

// Picture files larger than this are refused before they are read.
inline constexpr std::uint64_t kMaxImageFileBytes = 1ull << 30;

// A picture file read through its descriptor (read and pread), never mapped
// or loaded whole. Writes nothing anywhere.
class FileImageSource : public ImageSource {
 public:
  FileImageSource() = default;
  ~FileImageSource() override;
  FileImageSource(const FileImageSource&) = delete;
  FileImageSource& operator=(const FileImageSource&) = delete;

  // Opens a regular, non-empty file of at most kMaxImageFileBytes. False,
  // with the reason, otherwise.
  bool Open(const std::string& path, ImageError* error);

  std::uint64_t Size() const override { return size_; }
  std::size_t Read(std::uint8_t* buffer, std::size_t size) override;
  bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t size) override;

 private:
  NativeFile file_;
  std::uint64_t size_ = 0;
};
