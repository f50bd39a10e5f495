#include "support/FileModes.h"

#include <windows.h>

#include "support/WideText.h"

bool IsPrivateDirectory(const std::string& directory) {
  const DWORD attributes = ::GetFileAttributesW(WideText(directory).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool SetModificationTime(const std::string& path, std::int64_t secondsSinceEpoch) {
  // FILETIME counts 100 ns from 1601-01-01.
  const std::uint64_t ticks = static_cast<std::uint64_t>(secondsSinceEpoch + 11644473600LL) * 10000000ULL;
  const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  HANDLE file = ::CreateFileW(WideText(path).c_str(), FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool set = ::SetFileTime(file, nullptr, &time, &time) != 0;
  ::CloseHandle(file);
  return set;
}
