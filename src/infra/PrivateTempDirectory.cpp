#include "infra/PrivateTempDirectory.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

#include "infra/Log.h"
#include "infra/TextEncoding.h"

namespace {

// The log's texts, converted when first needed rather than before main,
// which every command of the programs would pay for.
struct Texts {
  SjisText createFailed{u8"PrivateTempDirectory : 一時フォルダを作成できませんでした "};
  SjisText writeFailed{u8"PrivateTempDirectory : 一時ファイルに書き込めませんでした "};
};

const Texts& Text() {
  static const Texts texts;
  return texts;
}

std::string BaseDirectory() {
  const char* given = std::getenv("TMPDIR");
  std::string base = given && *given ? given : "/tmp";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base;
}

// Removes the files in the directory `name` of `parent` (not following
// links), then the directory; false when it stays.
bool RemoveDirectoryAt(int parent, const std::string& name) {
  const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  std::unique_ptr<DIR, int (*)(DIR*)> listing(::fdopendir(fd), ::closedir);
  if (!listing) {
    ::close(fd);
    return false;
  }
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(listing.get())) {
    const std::string entryName = entry->d_name;
    if (entryName != "." && entryName != "..") names.push_back(entryName);
  }
  for (const std::string& entryName : names) ::unlinkat(fd, entryName.c_str(), 0);
  return ::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0;
}

// The process id in "<prefix><pid>-XXXXXX"; 0 when the name is not one.
pid_t OwnerOf(const std::string& name) {
  const std::string prefix = PrivateTempDirectory::kPrefix;
  if (name.compare(0, prefix.size(), prefix) != 0) return 0;
  const size_t dash = name.find('-', prefix.size());
  if (dash == std::string::npos || dash == prefix.size() || name.size() - dash != 7) return 0;
  long long pid = 0;
  for (size_t i = prefix.size(); i < dash; ++i) {
    if (name[i] < '0' || name[i] > '9' || pid > 1'000'000'000) return 0;
    pid = pid * 10 + (name[i] - '0');
  }
  return static_cast<pid_t>(pid);
}

}  // namespace

int PrivateTempDirectory::RemoveLeftovers(const std::string& base) {
  const int parent = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parent < 0) return 0;
  std::unique_ptr<DIR, int (*)(DIR*)> listing(::fdopendir(parent), ::closedir);
  if (!listing) {
    ::close(parent);
    return 0;
  }
  const time_t now = ::time(nullptr);
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(listing.get())) {
    const std::string name = entry->d_name;
    const pid_t owner = OwnerOf(name);
    // This process's own directories are still in use.
    if (owner <= 0 || owner == ::getpid()) continue;
    struct stat info {};
    if (::fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid())
      continue;
    // EPERM: the process exists under another user, so the id was reused.
    const bool gone = ::kill(owner, 0) != 0 && errno == ESRCH;
    if (gone || now - info.st_mtime >= kStaleSeconds) stale.push_back(name);
  }
  int removed = 0;
  for (const std::string& name : stale) removed += RemoveDirectoryAt(parent, name) ? 1 : 0;
  return removed;
}

PrivateTempDirectory::PrivateTempDirectory() {
  const std::string base = BaseDirectory();
  RemoveLeftovers(base);
  std::string pattern = base + "/" + kPrefix + std::to_string(::getpid()) + "-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  // mkdtemp makes the directory with mode 0700.
  if (::mkdtemp(name.data()) == nullptr) {
    WriteLog(Text().createFailed + PathForLog(pattern));
    return;
  }
  path_ = std::string(name.data()) + "/";
}

PrivateTempDirectory::~PrivateTempDirectory() {
  if (path_.empty()) return;
  if (DIR* directory = ::opendir(path_.c_str())) {
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(directory)) {
      const std::string entryName = entry->d_name;
      if (entryName != "." && entryName != "..") names.push_back(entryName);
    }
    ::closedir(directory);
    for (const std::string& entryName : names) ::unlink((path_ + entryName).c_str());
  }
  ::rmdir(path_.c_str());
}

std::string PrivateTempDirectory::WriteFile(const std::string& name, const std::string& bytes) {
  if (path_.empty()) return {};
  const std::string path = path_ + name;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  bool ok = fd >= 0;
  for (size_t done = 0; ok && done < bytes.size();) {
    const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote <= 0) {
      ok = false;
    } else {
      done += static_cast<size_t>(wrote);
    }
  }
  if (fd >= 0 && ::close(fd) != 0) ok = false;
  if (!ok) {
    ::unlink(path.c_str());
    WriteLog(Text().writeFailed + PathForLog(path));
    return {};
  }
  return path;
}
