#include "control/SitePictureCache.h"

#include <algorithm>
#include <cctype>
#include <tuple>
#include <vector>

#include "infra/AtomicFile.h"
#include "infra/Environment.h"
#include "infra/NativeFile.h"
#include "infra/Platform.h"

namespace {

constexpr char kPrefix[] = "site-";

bool IsNameByte(unsigned char c) { return std::isalnum(c) || c == '_' || c == '-'; }

// The kept pictures in `directory`: the regular files whose name has the
// prefix (a link's target is neither counted nor kept).
struct Entry {
  std::string path;
  platform::FileFacts facts;
};

std::vector<Entry> Entries(const std::string& directory) {
  std::vector<std::string> names;
  (void)platform::ListDirectory(directory, names);
  std::vector<Entry> entries;
  for (const std::string& name : names) {
    if (name.rfind(kPrefix, 0) != 0) continue;
    const std::optional<platform::FileFacts> facts = platform::LookAt(directory + name, false);
    if (facts && facts->kind == platform::FileKind::kRegular) entries.push_back({directory + name, *facts});
  }
  return entries;
}

}  // namespace

SitePictureCache::SitePictureCache(std::string directory, std::uint64_t limit)
    : directory_(directory.empty() || directory.back() == '/' || directory.back() == platform::PathSeparator()
                     ? std::move(directory)
                     : directory + platform::PathSeparator()),
      limit_(limit) {}

std::string SitePictureCache::DefaultDirectory() {
  const std::string base = platform::UserCacheBase();
  if (base.empty()) return {};
  return base + platform::ProgramFolderName() + "site" + platform::PathSeparator();
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
  NativeFile file = NativeFile::OpenForReading(path, NativeFile::Links::kRefuse);
  if (!file.IsOpen()) {
    const std::optional<platform::FileFacts> facts = platform::LookAt(path, false);
    if (facts && facts->kind != platform::FileKind::kRegular && facts->kind != platform::FileKind::kDirectory)
      (void)platform::RemoveFile(path);
    return std::nullopt;
  }
  const std::optional<std::uint64_t> size = file.Size();
  if (!size) return std::nullopt;
  if (*size == 0 || *size > limit_) {
    file = NativeFile();
    (void)platform::RemoveFile(path);
    return std::nullopt;
  }
  std::string bytes(static_cast<std::size_t>(*size), '\0');
  // A short read is an error, or a file cut short meanwhile.
  if (!file.ReadAt(0, bytes.data(), bytes.size())) return std::nullopt;
  // Marks the file itself, not whatever its name leads to now, as the most
  // recently used.
  (void)file.MarkModifiedNow();
  return bytes;
}

void SitePictureCache::Store(const std::string& id, const std::string& bytes) {
  if (directory_.empty() || bytes.empty() || bytes.size() > limit_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  (void)MakeDirectories(directory_);
  const std::string path = FileOf(id);
  AtomicFile file(path);
  if (!file.Ok() || !file.Write(bytes) || !file.Commit()) return;
  Trim(path);
}

void SitePictureCache::Trim(const std::string& stored) {
  std::vector<Entry> entries = Entries(directory_);
  std::uint64_t total = 0;
  for (const Entry& entry : entries) total += entry.facts.bytes;
  const auto used = [&stored](const Entry& entry) {
    return std::make_tuple(entry.path == stored, entry.facts.modifiedSeconds, entry.facts.modifiedNanoseconds);
  };
  std::sort(entries.begin(), entries.end(), [&used](const Entry& a, const Entry& b) { return used(a) < used(b); });
  for (const Entry& entry : entries) {
    if (total <= limit_) break;
    if (platform::RemoveFile(entry.path)) total -= entry.facts.bytes;
  }
}

std::uint64_t SitePictureCache::TotalBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::uint64_t total = 0;
  for (const Entry& entry : Entries(directory_)) total += entry.facts.bytes;
  return total;
}
