#include "imaging/ScratchFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <utility>

namespace {

std::atomic<unsigned> nextNumber{1};

bool CreateExclusively(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace

ScratchFile ScratchFile::Reserve(const std::string& preferred, const std::string& stem, const std::string& suffix) {
  ScratchFile file;
  if (CreateExclusively(preferred)) {
    file.path_ = preferred;
    return file;
  }
  if (errno != EEXIST) return file;
  const std::string process = std::to_string(static_cast<long>(::getpid()));
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string candidate = stem + process + "-" + std::to_string(nextNumber++) + suffix;
    if (CreateExclusively(candidate)) {
      file.path_ = candidate;
      return file;
    }
    if (errno != EEXIST) break;
  }
  return file;
}

ScratchFile::ScratchFile(ScratchFile&& other) noexcept : path_(std::exchange(other.path_, {})) {}

ScratchFile& ScratchFile::operator=(ScratchFile&& other) noexcept {
  if (this != &other) {
    Remove();
    path_ = std::exchange(other.path_, {});
  }
  return *this;
}

void ScratchFile::Remove() {
  if (path_.empty()) return;
  std::remove(path_.c_str());
  path_.clear();
}
