#include "infra/WriterLock.h"

#include <windows.h>

#include "infra/WindowsText.h"

namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool Lock(HANDLE file, DWORD flags) {
  OVERLAPPED whole {};
  return ::LockFileEx(file, flags, 0, 1, 0, &whole) != 0;
}

}  // namespace

WriterLock::~WriterLock() {
  if (handle_ != -1) ::CloseHandle(AsHandle(handle_));  // releases the lock
}

bool WriterLock::Acquire() {
  if (handle_ == -1) {
    std::string path = directory_.empty() ? std::string(".") : directory_;
    if (path.back() != '/' && path.back() != '\\') path += '\\';
    const HANDLE file = ::CreateFileW(Wide(path + "tintwise.lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    handle_ = reinterpret_cast<std::intptr_t>(file);
  }
  const HANDLE file = AsHandle(handle_);
  const bool alone = Lock(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY);
  // A region is unlocked before it is locked again shared; as on Linux, this
  // writer has made no temporary file yet.
  if (alone) {
    OVERLAPPED whole {};
    ::UnlockFileEx(file, 0, 1, 0, &whole);
  }
  return Lock(file, 0) && alone;
}
