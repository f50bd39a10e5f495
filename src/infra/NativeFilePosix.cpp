#include "infra/NativeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

void Tell(std::string* why, const char* text) {
  if (why != nullptr) *why = text;
}

void TellErrno(std::string* why) {
  if (why != nullptr) *why = std::strerror(errno);
}

}  // namespace

NativeFile::~NativeFile() {
  if (handle_ != kNone) ::close(static_cast<int>(handle_));
}

NativeFile::NativeFile(NativeFile&& other) noexcept : handle_(other.handle_), position_(other.position_) {
  other.handle_ = kNone;
}

NativeFile& NativeFile::operator=(NativeFile&& other) noexcept {
  if (this != &other) {
    if (handle_ != kNone) ::close(static_cast<int>(handle_));
    handle_ = other.handle_;
    position_ = other.position_;
    other.handle_ = kNone;
  }
  return *this;
}

NativeFile NativeFile::OpenForReading(const std::string& path, Links links, std::string* why) {
  // The type is looked at before the open (opening a device may have side
  // effects) and again on the descriptor, which is opened without waiting
  // (O_NONBLOCK: a FIFO would wait for a writer) in case the name was
  // replaced in between.
  struct stat named {};
  if ((links == Links::kRefuse ? ::lstat(path.c_str(), &named) : ::stat(path.c_str(), &named)) != 0) {
    TellErrno(why);
    return NativeFile();
  }
  if (S_ISLNK(named.st_mode)) {
    Tell(why, "a symbolic link");
    return NativeFile();
  }
  if (!S_ISREG(named.st_mode)) {
    Tell(why, "not a regular file");
    return NativeFile();
  }
  int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  if (links == Links::kRefuse) flags |= O_NOFOLLOW;
  const int fd = ::open(path.c_str(), flags);
  if (fd < 0) {
    if (errno == ELOOP && links == Links::kRefuse) {
      Tell(why, "a symbolic link");
    } else {
      TellErrno(why);
    }
    return NativeFile();
  }
  NativeFile file(fd);
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    TellErrno(why);
    return NativeFile();
  }
  if (!S_ISREG(status.st_mode)) {
    Tell(why, "not a regular file");
    return NativeFile();
  }
  const int current = ::fcntl(fd, F_GETFL);
  if (current < 0 || ::fcntl(fd, F_SETFL, current & ~O_NONBLOCK) != 0) {
    TellErrno(why);
    return NativeFile();
  }
  return file;
}

NativeFile NativeFile::CreateNew(const std::string& path, std::string* why) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) TellErrno(why);
  return fd < 0 ? NativeFile() : NativeFile(fd);
}

NativeFile NativeFile::CreateUnique(const std::string& stem, std::string* path, std::string* why) {
  std::string name = stem + "XXXXXX";
  // mkstemp creates 0600 with a name nobody can predict.
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    TellErrno(why);
    return NativeFile();
  }
  (void)::fcntl(fd, F_SETFD, FD_CLOEXEC);
  *path = name;
  return NativeFile(fd);
}

bool NativeFile::IsOpen() const { return handle_ != kNone; }

std::optional<std::uint64_t> NativeFile::Size() const {
  struct stat status {};
  if (handle_ == kNone || ::fstat(static_cast<int>(handle_), &status) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(status.st_size);
}

long long NativeFile::Read(char* buffer, std::size_t count) {
  if (handle_ == kNone) return -1;
  for (;;) {
    const ssize_t got = ::read(static_cast<int>(handle_), buffer, count);
    if (got >= 0 || errno != EINTR) return got;
  }
}

bool NativeFile::ReadAt(std::uint64_t offset, char* buffer, std::size_t count) {
  if (handle_ == kNone) return false;
  std::size_t done = 0;
  while (done < count) {
    const ssize_t got = ::pread(static_cast<int>(handle_), buffer + done, count - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

bool NativeFile::WriteAll(const char* bytes, std::size_t count) {
  if (handle_ == kNone) return false;
  while (count > 0) {
    const ssize_t wrote = ::write(static_cast<int>(handle_), bytes, count);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    bytes += wrote;
    count -= static_cast<std::size_t>(wrote);
  }
  return true;
}

bool NativeFile::Sync() { return handle_ != kNone && ::fsync(static_cast<int>(handle_)) == 0; }

void NativeFile::SetPermissionsLike(const std::string& model) {
  if (handle_ == kNone) return;
  struct stat existing {};
  (void)::fchmod(static_cast<int>(handle_),
                 ::stat(model.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644);
}

bool NativeFile::MarkModifiedNow() { return handle_ != kNone && ::futimens(static_cast<int>(handle_), nullptr) == 0; }

bool NativeFile::Close() {
  if (handle_ == kNone) return false;
  const int fd = static_cast<int>(handle_);
  handle_ = kNone;
  return ::close(fd) == 0;
}

void NativeFile::AdviseSequential() {
  if (handle_ != kNone) (void)::posix_fadvise(static_cast<int>(handle_), 0, 0, POSIX_FADV_SEQUENTIAL);
}
