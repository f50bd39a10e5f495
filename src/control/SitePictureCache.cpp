#include "control/SitePictureCache.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "infra/AtomicFile.h"

namespace fs = std::filesystem;

namespace {

constexpr char kPrefix[] = "site-";

bool IsNameByte(unsigned char c) { return std::isalnum(c) || c == '_' || c == '-'; }

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
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad() || bytes.empty()) return std::nullopt;
  // Marks the file as the most recently used.
  ::utimensat(AT_FDCWD, path.c_str(), nullptr, 0);
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
    if (::stat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
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
    if (it->path().filename().string().rfind(kPrefix, 0) == 0 && it->is_regular_file(error))
      total += it->file_size(error);
  }
  return total;
}
