#include "infra/WriterLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

WriterLock::~WriterLock() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));  // releases the lock
}

bool WriterLock::Acquire() {
  if (handle_ < 0) handle_ = ::open(directory_.empty() ? "." : directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (handle_ < 0) return false;
  const int fd = static_cast<int>(handle_);
  const bool alone = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  // From exclusive to shared is not one step, but this writer has made no
  // temporary file yet, so another one that is alone in between removes
  // nothing of its.
  int result;
  do {
    result = ::flock(fd, LOCK_SH);
  } while (result != 0 && errno == EINTR);
  return alone && result == 0;
}
