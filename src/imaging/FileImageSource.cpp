#include "imaging/FileImageSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

FileImageSource::~FileImageSource() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileImageSource::Open(const std::string& path, ImageError* error) {
  // Only a regular file is opened: opening a FIFO waits for a writer, and a
  // device may have side effects or never end. The type is looked at before
  // the open and again on the descriptor, which is opened without waiting in
  // case the name was replaced in between.
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    return ImageError::Fail(error, ImageErrorKind::kCannotOpen, std::string("cannot open the file: ") + std::strerror(errno));
  }
  if (!S_ISREG(status.st_mode)) return ImageError::Fail(error, ImageErrorKind::kCannotOpen, "not a regular file");
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return ImageError::Fail(error, ImageErrorKind::kCannotOpen, std::string("cannot open the file: ") + std::strerror(errno));
  fd_ = fd;
  if (::fstat(fd_, &status) != 0) return ImageError::Fail(error, ImageErrorKind::kCannotOpen, "cannot read the file's size");
  if (!S_ISREG(status.st_mode)) return ImageError::Fail(error, ImageErrorKind::kCannotOpen, "not a regular file");
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags >= 0) (void)::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
  size_ = static_cast<std::uint64_t>(status.st_size);
  if (size_ == 0) return ImageError::Fail(error, ImageErrorKind::kEmptyFile, "empty file");
  if (size_ > kMaxImageFileBytes) return ImageError::Fail(error, ImageErrorKind::kFileTooLarge, "file too large");
  // The decoders read front to back; ask for a generous read-ahead.
  (void)::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  return true;
}

std::size_t FileImageSource::Read(std::uint8_t* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd_, buffer + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

bool FileImageSource::ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::pread(fd_, buffer + done, size - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}
