#pragma once

#include <cstdint>
#include <memory>

// Files written while this lives cannot grow past `bytes` (the write fails,
// as on a full disk); the previous limit returns on destruction. Linux only:
// Windows has no such limit per process, and there Supported() is false and
// the object limits nothing.
class FileSizeLimit {
 public:
  static bool Supported();

  explicit FileSizeLimit(std::uint64_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  struct Previous;
  std::unique_ptr<Previous> previous_;
};
