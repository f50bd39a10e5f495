#include "control/SitePictureCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "infra/AtomicFile.h"

namespace fs = std::filesystem;

namespace {

constexpr char kPrefix[] = "site-";

bool IsNameByte(unsigned char c) { return std::isalnum(c) || c == '_' || c == '-'; }

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { ::close(fd_); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

 private:
  int fd_;
};

}  // namespace

SitePictureCache::SitePictureCache(std::string directory, std::uint64_t limit)
    : directory_(directory.empty() || directory.back() == '/' ? std::move(directory) : directory + "/"),
      limit_(limit) {}

std::string SitePictureCache::DefaultDirectory() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg && xdg[0] == '/') return std::string(xdg) + "/tintwise/site/";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.cache/tintwise/site/";
  return {};
}

std::string SitePictureCache::FileOf(const std::string& id) const {
  // Ids are numbers; anything else is hex-encoded so that no id can name a
  // path outside the directory.
  std::string name = kPrefix;
  const bool plain = !id.empty() && std::all_of(id.begin(), id.end(), [](char c) {
    return IsNameByte(static_cast<unsigned char>(c));
  });
  if (plain) {
    name += id;
  } else {
    static const char kHex[] = "0123456789abcdef";
    name += "x";
    for (unsigned char c : id) {
      name += kHex[c >> 4];
      name += kHex[c & 15];
    }
  }
  return directory_ + name;
}

std::optional<std::string> SitePictureCache::Find(const std::string& id) {
  if (directory_.empty()) return std::nullopt;
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string path = FileOf(id);
  // Only a regular file of at most the limit is a kept picture. Whatever else
  // carries the name (a FIFO would block the only worker, a link to a device
  // would be read without end, a link elsewhere would have another file's
  // times changed) is never followed nor waited on: a miss, and the name is
  // removed so that the picture can be kept again.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    if (errno == ELOOP) ::unlink(path.c_str());
    return std::nullopt;
  }
  const FileDescriptor file(fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0) return std::nullopt;
  if (!S_ISREG(info.st_mode)) {
    if (!S_ISDIR(info.st_mode)) ::unlink(path.c_str());
    return std::nullopt;
  }
  if (info.st_size <= 0 || static_cast<std::uint64_t>(info.st_size) > limit_) {
    ::unlink(path.c_str());
    return std::nullopt;
  }
  std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return std::nullopt;  // an error, or a file cut short meanwhile
    done += static_cast<std::size_t>(got);
  }
  // Marks the file itself, not whatever its name leads to now, as the most
  // recently used.
  ::futimens(fd, nullptr);
  return bytes;
}

void SitePictureCache::Store(const std::string& id, const std::string& bytes) {
  if (directory_.empty() || bytes.empty() || bytes.size() > limit_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  std::error_code error;
  fs::create_directories(directory_, error);
  AtomicFile file(FileOf(id));
  if (!file.Ok() || !file.Write(bytes) || !file.Commit()) return;
  Trim();
}

void SitePictureCache::Trim() {
  struct Entry {
    std::string path;
    std::uint64_t bytes;
    struct timespec used;
  };
  std::vector<Entry> entries;
  std::uint64_t total = 0;
  std::error_code error;
  for (fs::directory_iterator it(directory_, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.rfind(kPrefix, 0) != 0) continue;
    struct stat info {};
    // lstat: a link's target is neither counted nor kept.
    if (::lstat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    entries.push_back({it->path().string(), static_cast<std::uint64_t>(info.st_size), info.st_mtim});
    total += static_cast<std::uint64_t>(info.st_size);
  }
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.used.tv_sec != b.used.tv_sec ? a.used.tv_sec < b.used.tv_sec : a.used.tv_nsec < b.used.tv_nsec;
  });
  for (const Entry& entry : entries) {
    if (total <= limit_) break;
    if (::unlink(entry.path.c_str()) == 0) total -= entry.bytes;
  }
}

std::uint64_t SitePictureCache::TotalBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::uint64_t total = 0;
  std::error_code error;
  for (fs::directory_iterator it(directory_, error), end; !error && it != end; it.increment(error)) {
    struct stat info {};
    if (it->path().filename().string().rfind(kPrefix, 0) == 0 && ::lstat(it->path().c_str(), &info) == 0 &&
        S_ISREG(info.st_mode))
      total += static_cast<std::uint64_t>(info.st_size);
  }
  return total;
}
