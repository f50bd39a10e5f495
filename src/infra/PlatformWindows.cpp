#include "infra/Platform.h"

#include <windows.h>
// The system's headers name some functions by macro (ReplaceFile is
// ReplaceFileW); this file defines the platform functions of those names.
#undef ReplaceFile
#include <fcntl.h>
#include <io.h>
#include <malloc.h>
#include <shellapi.h>
#include <shlobj.h>

#include <atomic>
#include <cstdio>
#include <memory>

#include "infra/WindowsText.h"

namespace platform {

namespace {

void TellLastError(std::string* why) {
  if (why != nullptr) *why = LastErrorText();
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

std::string WithSeparator(std::string directory) {
  if (!directory.empty() && !IsSeparator(directory.back())) directory += '\\';
  return directory;
}

// Sets the modification time of `facts` from a file time (100 ns ticks since 1601).
void SetModified(FileFacts& facts, const FILETIME& time) {
  const std::uint64_t ticks = (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  facts.modifiedSeconds = static_cast<std::int64_t>(ticks / 10000000ULL) - 11644473600LL;
  facts.modifiedNanoseconds = static_cast<std::int32_t>(ticks % 10000000ULL) * 100;
}

std::string KnownFolder(REFKNOWNFOLDERID id) {
  wchar_t* path = nullptr;
  if (::SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path) != S_OK || path == nullptr) {
    ::CoTaskMemFree(path);
    return {};
  }
  std::string result = Narrow(path);
  ::CoTaskMemFree(path);
  return WithSeparator(result);
}

}  // namespace

char PathSeparator() { return '\\'; }

bool IsAbsolutePath(const std::string& path) {
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return true;
  return path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
         path[1] == ':' && IsSeparator(path[2]);
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  const std::wstring wide = Wide(path);
  const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return path;
  return Narrow(std::wstring_view(full.data(), length));
}

std::string JoinPath(const std::string& directory, const std::string& name) {
  return directory.empty() || IsSeparator(directory.back()) ? directory + name : directory + '\\' + name;
}

std::string DirectoryPart(const std::string& path) {
  const auto separator = path.find_last_of("/\\");
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

std::optional<FileFacts> LookAt(const std::string& path, bool followLinks) {
  WIN32_FILE_ATTRIBUTE_DATA data {};
  if (!::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  FileFacts facts;
  facts.ownedByCurrentUser = true;
  const bool link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (link && !followLinks) {
    facts.kind = FileKind::kLink;
  } else if (link) {
    // Follow through the link: open the target itself and ask it.
    const HANDLE file = ::CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info {};
    const bool ok = ::GetFileInformationByHandle(file, &info) != 0;
    ::CloseHandle(file);
    if (!ok) return std::nullopt;
    facts.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::kDirectory : FileKind::kRegular;
    facts.bytes = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    SetModified(facts, info.ftLastWriteTime);
    return facts;
  } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    facts.kind = FileKind::kDirectory;
  } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) {
    facts.kind = FileKind::kOther;
  } else {
    facts.kind = FileKind::kRegular;
  }
  facts.bytes = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  SetModified(facts, data.ftLastWriteTime);
  return facts;
}

bool IsMissing(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data {};
  if (::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return false;
  const DWORD error = ::GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

namespace {

// A handle opened on what `path` leads to (a link followed), for its
// attributes only; INVALID_HANDLE_VALUE with the last error on failure.
HANDLE OpenForAttributes(const std::string& path) {
  return ::CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

bool AccessibleForReading(const std::string& path) {
  const std::optional<FileFacts> facts = LookAt(path, true);
  if (!facts || facts->kind != FileKind::kRegular) return false;
  // Access rights are lists, not bits: the sure answer is to open it.
  const HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(file);
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION info[2] {};
  const std::string* paths[2] = {&a, &b};
  for (int i = 0; i < 2; ++i) {
    const HANDLE file = OpenForAttributes(*paths[i]);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool ok = ::GetFileInformationByHandle(file, &info[i]) != 0;
    ::CloseHandle(file);
    if (!ok) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

namespace {

void WalkInto(const std::string& directory, const std::string& relative, std::vector<WalkEntry>& found) {
  const auto cannotList = [&] {
    WalkEntry failure;
    failure.path = directory;
    failure.relative = relative;
    failure.problem = WalkEntry::Problem::kCannotList;
    TellLastError(&failure.why);
    found.push_back(std::move(failure));
  };
  const std::wstring pattern = Wide(JoinPath(directory.empty() ? std::string(".") : directory, "*"));
  WIN32_FIND_DATAW listed {};
  const HANDLE search = ::FindFirstFileW(pattern.c_str(), &listed);
  if (search == INVALID_HANDLE_VALUE) {
    if (::GetLastError() != ERROR_FILE_NOT_FOUND) cannotList();  // not found: an empty drive root
    return;
  }
  std::vector<std::pair<std::string, std::string>> folders;  // path, relative
  do {
    const std::string name = Narrow(listed.cFileName);
    if (name == "." || name == "..") continue;
    WalkEntry entry;
    entry.path = JoinPath(directory, name);
    entry.relative = JoinPath(relative, name);
    const DWORD attributes = listed.dwFileAttributes;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      // A link (or junction): what it leads to, never entered.
      const HANDLE target = OpenForAttributes(entry.path);
      BY_HANDLE_FILE_INFORMATION info {};
      if (target != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(target, &info)) {
        entry.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::kDirectory
                     : ::GetFileType(target) == FILE_TYPE_DISK           ? FileKind::kRegular
                                                                         : FileKind::kOther;
        ::CloseHandle(target);
      } else {
        const DWORD error = ::GetLastError();
        if (target != INVALID_HANDLE_VALUE) ::CloseHandle(target);
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) continue;  // leads nowhere
        entry.problem = WalkEntry::Problem::kCannotLookAt;
        ::SetLastError(error);
        TellLastError(&entry.why);
      }
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      folders.emplace_back(entry.path, entry.relative);
      continue;
    } else {
      entry.kind = (attributes & FILE_ATTRIBUTE_DEVICE) ? FileKind::kOther : FileKind::kRegular;
    }
    found.push_back(std::move(entry));
  } while (::FindNextFileW(search, &listed));
  const DWORD error = ::GetLastError();
  ::FindClose(search);
  if (error != ERROR_NO_MORE_FILES) {
    ::SetLastError(error);
    cannotList();
  }
  for (const auto& [path, below] : folders) WalkInto(path, below, found);
}

}  // namespace

std::vector<WalkEntry> WalkDirectory(const std::string& directory) {
  std::vector<WalkEntry> found;
  WalkInto(directory, "", found);
  return found;
}

bool ListDirectory(const std::string& directory, std::vector<std::string>& names, std::string* why) {
  const std::wstring pattern = Wide(WithSeparator(directory.empty() ? std::string(".") : directory) + "*");
  WIN32_FIND_DATAW found {};
  const HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    if (::GetLastError() == ERROR_FILE_NOT_FOUND) return true;  // an empty drive root
    TellLastError(why);
    return false;
  }
  bool ok = true;
  do {
    const std::string name = Narrow(found.cFileName);
    if (name != "." && name != "..") names.push_back(name);
  } while (::FindNextFileW(search, &found));
  if (::GetLastError() != ERROR_NO_MORE_FILES) {
    TellLastError(why);
    ok = false;
  }
  ::FindClose(search);
  return ok;
}

bool ReplaceFile(const std::string& from, const std::string& to, std::string* why) {
  const std::wstring source = Wide(from), target = Wide(to);
  // A target another program holds open (a reader of cache.db, a virus
  // scanner, an indexer) refuses the move; such holds are usually short.
  constexpr int kAttempts = 20;
  for (int attempt = 1;; ++attempt) {
    if (::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    const DWORD error = ::GetLastError();
    const bool held = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
    if (!held || attempt == kAttempts) {
      ::SetLastError(error);
      TellLastError(why);
      return false;
    }
    ::Sleep(100);
  }
}

void SyncDirectory(const std::string&) {}

bool RemoveFile(const std::string& path) { return ::DeleteFileW(Wide(path).c_str()) != 0; }

bool RemoveEmptyDirectory(const std::string& path) { return ::RemoveDirectoryW(Wide(path).c_str()) != 0; }

bool MakeDirectory(const std::string& path) {
  if (::CreateDirectoryW(Wide(path).c_str(), nullptr)) return true;
  const std::optional<FileFacts> facts = LookAt(path, true);
  return ::GetLastError() == ERROR_ALREADY_EXISTS && facts && facts->kind == FileKind::kDirectory;
}

// Folders on Windows inherit their parent's access lists either way.
bool MakeSharedDirectory(const std::string& path) { return MakeDirectory(path); }

std::string MakeUniqueDirectory(const std::string& prefix, std::string* why) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string path = prefix + RandomLetters(6);
    if (::CreateDirectoryW(Wide(path).c_str(), nullptr)) return path + "\\";
    if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  TellLastError(why);
  return {};
}

bool MarkModifiedNow(const std::string& path) {
  // FILE_FLAG_OPEN_REPARSE_POINT: a link is opened itself, never its target.
  const HANDLE file =
      ::CreateFileW(Wide(path).c_str(), FILE_WRITE_ATTRIBUTES | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info {};
  bool ok = ::GetFileInformationByHandle(file, &info) &&
            (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
  if (ok) {
    FILETIME now {};
    ::GetSystemTimeAsFileTime(&now);
    ok = ::SetFileTime(file, nullptr, nullptr, &now) != 0;
  }
  ::CloseHandle(file);
  return ok;
}

bool MayWriteIn(const std::string& directory) {
  // Access rights on Windows are lists, not bits: the sure answer is to try.
  const std::string probe = WithSeparator(directory) + ".tintwise-write-test-" + RandomLetters(6);
  const HANDLE file = ::CreateFileW(Wide(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(file);
  return true;
}

bool ChangeDirectory(const std::string& directory) { return ::SetCurrentDirectoryW(Wide(directory).c_str()) != 0; }

std::string ExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return Narrow(std::wstring_view(buffer.data(), length));
    buffer.resize(buffer.size() * 2);
  }
}

std::optional<std::string> EnvironmentVariable(const char* name) {
  const std::wstring wideName = Wide(name);
  const DWORD needed = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (needed == 0) {
    if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::string();
  }
  std::wstring value(needed, L'\0');
  const DWORD length = ::GetEnvironmentVariableW(wideName.c_str(), value.data(), needed);
  return Narrow(std::wstring_view(value.data(), length));
}

const char* UserDataVariable() { return "LOCALAPPDATA"; }

const char* UserDataBelowHome() { return ""; }

std::optional<std::string> HomeDirectory() { return std::nullopt; }

const char* ProgramFolderName() { return "Tintwise\\"; }

const char* InstalledCopyMarker() { return "installed.txt"; }

std::string TemporaryDirectory() {
  wchar_t buffer[MAX_PATH + 2];
  const DWORD length = ::GetTempPathW(MAX_PATH + 2, buffer);
  if (length == 0 || length > MAX_PATH + 1) return ".\\";
  return WithSeparator(Narrow(std::wstring_view(buffer, length)));
}

std::string UserCacheBase() { return KnownFolder(FOLDERID_LocalAppData); }

std::int64_t ProcessId() { return ::GetCurrentProcessId(); }

bool ProcessIsRunning(std::int64_t id) {
  if (id <= 0) return false;
  const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id));
  if (process == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  const bool running = ::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  ::CloseHandle(process);
  return running;
}

std::vector<std::string> StartCommandLineProgram(int argc, char** argv) {
  ::SetConsoleOutputCP(CP_UTF8);
  // Binary standard streams: the output's line ends are the program's own.
  (void)_setmode(_fileno(stdout), _O_BINARY);
  (void)_setmode(_fileno(stderr), _O_BINARY);
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return {argv, argv + argc};
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Narrow(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void WriteToStandardError(const char* bytes, std::size_t count) {
  DWORD wrote = 0;
  (void)::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), bytes, static_cast<DWORD>(count), &wrote, nullptr);
}

namespace {
std::atomic<void (*)()> interruptHandler{nullptr};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  void (*handler)() = interruptHandler.load();
  if (handler == nullptr) return FALSE;  // the default: end the process
  handler();
  return TRUE;
}
}  // namespace

void OnInterrupt(void (*handler)()) {
  interruptHandler = handler;
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void RestoreInterruptDefault() { interruptHandler = nullptr; }

void* AllocateAligned(std::size_t alignment, std::size_t bytes) { return _aligned_malloc(bytes, alignment); }

void FreeAligned(void* memory) { _aligned_free(memory); }

bool LocalTime(std::int64_t secondsSinceEpoch, std::tm* local) {
  const std::time_t time = static_cast<std::time_t>(secondsSinceEpoch);
  return static_cast<std::int64_t>(time) == secondsSinceEpoch && localtime_s(local, &time) == 0;
}

std::optional<std::string> LoadAverageLine() { return std::nullopt; }

}  // namespace platform
