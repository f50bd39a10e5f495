#include "infra/NativeFile.h"

#include <windows.h>

#include "infra/WindowsText.h"

namespace {

void Tell(std::string* why, const char* text) {
  if (why != nullptr) *why = text;
}

void TellLastError(std::string* why) {
  if (why != nullptr) *why = LastErrorText();
}

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

std::intptr_t AsValue(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

}  // namespace

NativeFile::~NativeFile() {
  if (handle_ != kNone) ::CloseHandle(AsHandle(handle_));
}

NativeFile::NativeFile(NativeFile&& other) noexcept : handle_(other.handle_), position_(other.position_) {
  other.handle_ = kNone;
}

NativeFile& NativeFile::operator=(NativeFile&& other) noexcept {
  if (this != &other) {
    if (handle_ != kNone) ::CloseHandle(AsHandle(handle_));
    handle_ = other.handle_;
    position_ = other.position_;
    other.handle_ = kNone;
  }
  return *this;
}

NativeFile NativeFile::OpenForReading(const std::string& path, Links links, std::string* why) {
  // FILE_SHARE_DELETE: a reader never stops the file being replaced.
  DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN;
  if (links == Links::kRefuse) flags |= FILE_FLAG_OPEN_REPARSE_POINT;
  const HANDLE handle = ::CreateFileW(Wide(path).c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, flags, nullptr);
  HANDLE opened = handle;
  if (opened == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
    // A file we may read but not touch: without the right to set its time.
    opened = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, flags, nullptr);
  }
  if (opened == INVALID_HANDLE_VALUE) {
    // A folder cannot be opened as a file at all (the system says "access
    // denied"): say what it is, as on Linux.
    const DWORD error = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      Tell(why, "not a regular file");
      return NativeFile();
    }
    ::SetLastError(error);
    TellLastError(why);
    return NativeFile();
  }
  NativeFile file(AsValue(opened));
  BY_HANDLE_FILE_INFORMATION info {};
  if (!::GetFileInformationByHandle(opened, &info)) {
    TellLastError(why);
    return NativeFile();
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    Tell(why, "a symbolic link");
    return NativeFile();
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || ::GetFileType(opened) != FILE_TYPE_DISK) {
    Tell(why, "not a regular file");
    return NativeFile();
  }
  return file;
}

NativeFile NativeFile::CreateNew(const std::string& path, std::string* why) {
  const HANDLE handle = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                      nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    TellLastError(why);
    return NativeFile();
  }
  return NativeFile(AsValue(handle));
}

NativeFile NativeFile::CreateUnique(const std::string& stem, std::string* path, std::string* why) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = stem + RandomLetters(6);
    NativeFile file = CreateNew(name, why);
    if (file.IsOpen()) {
      *path = name;
      return file;
    }
    if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  return NativeFile();
}

bool NativeFile::IsOpen() const { return handle_ != kNone; }

std::optional<std::uint64_t> NativeFile::Size() const {
  LARGE_INTEGER size {};
  if (handle_ == kNone || !::GetFileSizeEx(AsHandle(handle_), &size)) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

namespace {

// One read at `offset`; the bytes read, 0 at the end, -1 on failure.
long long ReadOnce(HANDLE handle, std::uint64_t offset, char* buffer, std::size_t count) {
  OVERLAPPED at {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  const DWORD want = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
  if (!::ReadFile(handle, buffer, want, &got, &at)) return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  return got;
}

}  // namespace

long long NativeFile::Read(char* buffer, std::size_t count) {
  if (handle_ == kNone) return -1;
  const long long got = ReadOnce(AsHandle(handle_), position_, buffer, count);
  if (got > 0) position_ += static_cast<std::uint64_t>(got);
  return got;
}

bool NativeFile::ReadAt(std::uint64_t offset, char* buffer, std::size_t count) {
  if (handle_ == kNone) return false;
  std::size_t done = 0;
  while (done < count) {
    const long long got = ReadOnce(AsHandle(handle_), offset + done, buffer + done, count - done);
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

bool NativeFile::WriteAll(const char* bytes, std::size_t count) {
  if (handle_ == kNone) return false;
  while (count > 0) {
    DWORD wrote = 0;
    const DWORD want = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
    if (!::WriteFile(AsHandle(handle_), bytes, want, &wrote, nullptr) || wrote == 0) return false;
    bytes += wrote;
    count -= wrote;
  }
  return true;
}

bool NativeFile::Sync() { return handle_ != kNone && ::FlushFileBuffers(AsHandle(handle_)) != 0; }

void NativeFile::SetPermissionsLike(const std::string&) {}

bool NativeFile::MarkModifiedNow() {
  if (handle_ == kNone) return false;
  FILETIME now {};
  ::GetSystemTimeAsFileTime(&now);
  return ::SetFileTime(AsHandle(handle_), nullptr, nullptr, &now) != 0;
}

bool NativeFile::Close() {
  if (handle_ == kNone) return false;
  const HANDLE handle = AsHandle(handle_);
  handle_ = kNone;
  return ::CloseHandle(handle) != 0;
}

void NativeFile::AdviseSequential() {}
