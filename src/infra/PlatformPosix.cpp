#include "infra/Platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace platform {

namespace {

void TellErrno(std::string* why) {
  if (why != nullptr) *why = std::strerror(errno);
}

std::string WithSlash(std::string directory) {
  if (!directory.empty() && directory.back() != '/') directory += '/';
  return directory;
}

// $HOME, or the password database's home when the environment lacks it (a
// service, sudo -i); empty when neither is absolute.
std::string Home() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  std::string buffer(16384, '\0');
  passwd entry {};
  passwd* found = nullptr;
  if (getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  return {};
}

// The XDG base directory rule: an absolute $variable, else ~/fallback.
std::string XdgBase(const char* variable, const char* fallback) {
  if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') return WithSlash(value);
  const std::string home = Home();
  return home.empty() ? std::string() : WithSlash(home) + fallback;
}

}  // namespace

char PathSeparator() { return '/'; }

bool IsAbsolutePath(const std::string& path) { return !path.empty() && path.front() == '/'; }

std::string AbsolutePath(const std::string& path) {
  if (path.empty() || IsAbsolutePath(path)) return path;
  std::string buffer(4096, '\0');
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return path;
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(std::strlen(buffer.c_str()));
  return WithSlash(buffer) + path;
}

std::string JoinPath(const std::string& directory, const std::string& name) {
  return directory.empty() || directory.back() == '/' ? directory + name : directory + '/' + name;
}

std::string DirectoryPart(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

namespace {

FileKind KindOf(mode_t mode) {
  return S_ISREG(mode) ? FileKind::kRegular : S_ISDIR(mode) ? FileKind::kDirectory : S_ISLNK(mode) ? FileKind::kLink
                                                                                                   : FileKind::kOther;
}

// The kind a directory listing gives an entry, nothing when it did not say.
std::optional<FileKind> ListedKind(unsigned char type) {
  switch (type) {
    case DT_UNKNOWN:
      return std::nullopt;
    case DT_REG:
      return FileKind::kRegular;
    case DT_DIR:
      return FileKind::kDirectory;
    case DT_LNK:
      return FileKind::kLink;
    default:
      return FileKind::kOther;
  }
}

void WalkInto(const std::string& directory, const std::string& relative, std::vector<WalkEntry>& found) {
  std::vector<std::pair<std::string, std::string>> folders;  // path, relative
  std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(directory.empty() ? "." : directory.c_str()), ::closedir);
  int error = listing ? 0 : errno;
  while (listing) {
    errno = 0;
    const dirent* listed = ::readdir(listing.get());
    if (listed == nullptr) {
      error = errno;
      break;
    }
    const std::string name = listed->d_name;
    if (name == "." || name == "..") continue;
    WalkEntry entry;
    entry.path = JoinPath(directory, name);
    entry.relative = JoinPath(relative, name);
    // The listing's own word for the entry where it gives one (no look
    // that could fail on a path too long to name); a link is not followed
    // into a folder.
    std::optional<FileKind> own = ListedKind(listed->d_type);
    struct stat status {};
    if (!own && ::lstat(entry.path.c_str(), &status) == 0) own = KindOf(status.st_mode);
    if (own == FileKind::kDirectory) {
      folders.emplace_back(entry.path, entry.relative);
      continue;
    }
    if (own && ::stat(entry.path.c_str(), &status) == 0) {
      entry.kind = KindOf(status.st_mode);
    } else if (errno == ENOENT) {
      continue;  // gone since it was listed, or a link leading nowhere
    } else {
      entry.problem = WalkEntry::Problem::kCannotLookAt;
      entry.why = std::strerror(errno);
    }
    found.push_back(std::move(entry));
  }
  if (error != 0) {
    WalkEntry failure;
    failure.path = directory;
    failure.relative = relative;
    failure.problem = WalkEntry::Problem::kCannotList;
    failure.why = std::strerror(error);
    found.push_back(std::move(failure));
  }
  for (const auto& [path, below] : folders) WalkInto(path, below, found);
}

}  // namespace

std::optional<FileFacts> LookAt(const std::string& path, bool followLinks) {
  struct stat status {};
  if ((followLinks ? ::stat(path.c_str(), &status) : ::lstat(path.c_str(), &status)) != 0) return std::nullopt;
  FileFacts facts;
  facts.kind = KindOf(status.st_mode);
  facts.bytes = static_cast<std::uint64_t>(status.st_size);
  facts.modifiedSeconds = static_cast<std::int64_t>(status.st_mtim.tv_sec);
  facts.modifiedNanoseconds = static_cast<std::int32_t>(status.st_mtim.tv_nsec);
  facts.ownedByCurrentUser = status.st_uid == ::geteuid();
  return facts;
}

bool IsMissing(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) != 0 && errno == ENOENT;
}

bool AccessibleForReading(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && ::access(path.c_str(), R_OK) == 0;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first {}, second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

std::vector<WalkEntry> WalkDirectory(const std::string& directory) {
  std::vector<WalkEntry> found;
  WalkInto(directory, "", found);
  return found;
}

bool ListDirectory(const std::string& directory, std::vector<std::string>& names, std::string* why) {
  std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(directory.empty() ? "." : directory.c_str()), ::closedir);
  if (!listing) {
    TellErrno(why);
    return false;
  }
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(listing.get());
    if (entry == nullptr) break;
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  if (errno != 0) {
    TellErrno(why);
    return false;
  }
  return true;
}

bool ReplaceFile(const std::string& from, const std::string& to, std::string* why) {
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  TellErrno(why);
  return false;
}

void SyncDirectory(const std::string& directory) {
  const int fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool RemoveEmptyDirectory(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

namespace {
bool MakeDirectoryWithMode(const std::string& path, mode_t mode) {
  if (::mkdir(path.c_str(), mode) == 0) return true;
  struct stat status {};
  return errno == EEXIST && ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}
}  // namespace

bool MakeDirectory(const std::string& path) { return MakeDirectoryWithMode(path, 0700); }

bool MakeSharedDirectory(const std::string& path) { return MakeDirectoryWithMode(path, 0777); }

std::string MakeUniqueDirectory(const std::string& prefix, std::string* why) {
  std::string name = prefix + "XXXXXX";
  // mkdtemp makes the directory with mode 0700.
  if (::mkdtemp(name.data()) == nullptr) {
    TellErrno(why);
    return {};
  }
  return name + "/";
}

bool MarkModifiedNow(const std::string& path) {
  const std::optional<FileFacts> facts = LookAt(path, false);
  return facts && facts->kind == FileKind::kRegular &&
         ::utimensat(AT_FDCWD, path.c_str(), nullptr, AT_SYMLINK_NOFOLLOW) == 0;
}

bool MayWriteIn(const std::string& directory) { return ::access(directory.c_str(), W_OK) == 0; }

bool ChangeDirectory(const std::string& directory) { return ::chdir(directory.c_str()) == 0; }

std::string ExecutablePath() {
  std::string buffer(4096, '\0');
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<size_t>(length) < buffer.size()) return buffer.substr(0, static_cast<size_t>(length));
    buffer.resize(buffer.size() * 2);
  }
}

std::optional<std::string> EnvironmentVariable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

const char* UserDataVariable() { return "XDG_DATA_HOME"; }

const char* UserDataBelowHome() { return ".local/share/"; }

std::optional<std::string> HomeDirectory() {
  const std::string home = Home();
  if (home.empty()) return EnvironmentVariable("HOME");
  return home;
}

const char* ProgramFolderName() { return "tintwise/"; }

const char* InstalledCopyMarker() { return "../share/applications/tintwise.desktop"; }

std::string TemporaryDirectory() {
  const char* base = std::getenv("TMPDIR");
  return WithSlash(base != nullptr && *base != '\0' ? std::string(base) : std::string("/tmp"));
}

std::string UserCacheBase() { return XdgBase("XDG_CACHE_HOME", ".cache/"); }

std::int64_t ProcessId() { return ::getpid(); }

bool ProcessIsRunning(std::int64_t id) {
  if (id <= 0) return false;
  return ::kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
}

std::vector<std::string> StartCommandLineProgram(int argc, char** argv) { return {argv, argv + argc}; }

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

void WriteToStandardError(const char* bytes, std::size_t count) { (void)!::write(STDERR_FILENO, bytes, count); }

namespace {
void (*interruptHandler)() = nullptr;
void OnSignal(int) {
  if (interruptHandler != nullptr) interruptHandler();
}
}  // namespace

void OnInterrupt(void (*handler)()) {
  interruptHandler = handler;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a blocking read returns with EINTR and its loop looks at the flag.
  sigaction(SIGINT, &action, nullptr);
}

void RestoreInterruptDefault() { ::signal(SIGINT, SIG_DFL); }

void* AllocateAligned(std::size_t alignment, std::size_t bytes) { return std::aligned_alloc(alignment, (bytes + alignment - 1) / alignment * alignment); }

void FreeAligned(void* memory) { std::free(memory); }

bool LocalTime(std::int64_t secondsSinceEpoch, std::tm* local) {
  const std::time_t time = static_cast<std::time_t>(secondsSinceEpoch);
  return static_cast<std::int64_t>(time) == secondsSinceEpoch && localtime_r(&time, local) != nullptr;
}

std::optional<std::string> LoadAverageLine() {
  char line[128];
  std::size_t length = 0;
  std::FILE* file = std::fopen("/proc/loadavg", "re");
  if (file == nullptr) return std::nullopt;
  length = std::fread(line, 1, sizeof line - 1, file);
  std::fclose(file);
  return std::string(line, length);
}

}  // namespace platform
