#include "support/DeniedAccess.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

struct DeniedAccess::Saved {
  mode_t mode = 0;
  bool changed = false;
};

DeniedAccess::DeniedAccess(const std::string& path) : path_(path), saved_(std::make_unique<Saved>()) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    saved_->mode = info.st_mode & 07777;
    saved_->changed = ::chmod(path.c_str(), 0) == 0;
  }
}

DeniedAccess::~DeniedAccess() {
  if (saved_->changed) ::chmod(path_.c_str(), saved_->mode);
}

bool DeniedAccess::Effective() const {
  const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd < 0) return true;
  ::close(fd);
  return false;
}
