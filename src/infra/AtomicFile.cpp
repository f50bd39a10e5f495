#include "infra/AtomicFile.h"

#include <ctime>
#include <vector>

#include "infra/Platform.h"

namespace {

// The files a database library keeps beside a database file.
constexpr const char* kCompanionSuffixes[] = {"-journal", "-wal", "-shm"};

constexpr size_t kBufferBytes = 64 * 1024;

}  // namespace

AtomicFile::AtomicFile(std::string target) : target_(std::move(target)) {
  file_ = NativeFile::CreateUnique(target_ + ".tmp.", &temporaryPath_);
  if (!file_.IsOpen()) {
    temporaryPath_.clear();
    return;
  }
  // Keep the mode of the file being replaced, or make the new one as
  // readable as a plainly created file.
  file_.SetPermissionsLike(target_);
}

AtomicFile::~AtomicFile() { Discard(); }

bool AtomicFile::Flush() {
  if (!buffer_.empty() && !file_.WriteAll(buffer_.data(), buffer_.size())) failed_ = true;
  buffer_.clear();
  return !failed_;
}

bool AtomicFile::Write(std::string_view bytes) {
  if (!Ok() || closed_) return false;
  if (buffer_.size() + bytes.size() > kBufferBytes && !Flush()) return false;
  if (bytes.size() >= kBufferBytes) {
    if (!file_.WriteAll(bytes.data(), bytes.size())) failed_ = true;
  } else {
    buffer_.append(bytes);
  }
  return !failed_;
}

bool AtomicFile::Close() {
  if (temporaryPath_.empty()) return false;
  if (closed_) return !failed_;
  if (!Flush() || !file_.Sync()) failed_ = true;
  if (!file_.Close()) failed_ = true;
  closed_ = true;
  return !failed_;
}

bool AtomicFile::Rename() {
  if (temporaryPath_.empty()) return false;
  if (!closed_ && !Close()) {
    Discard();
    return false;
  }
  if (failed_ || !platform::ReplaceFile(temporaryPath_, target_)) {
    Discard();
    return false;
  }
  temporaryPath_.clear();
  return true;
}

bool AtomicFile::Commit() {
  if (!Rename()) return false;
  platform::SyncDirectory(platform::DirectoryPart(target_));
  return true;
}

bool AtomicFile::CommitDatabase() {
  if (!Rename()) return false;
  for (const char* suffix : kCompanionSuffixes) (void)platform::RemoveFile(target_ + suffix);
  // One sync makes the rename and the removals durable.
  platform::SyncDirectory(platform::DirectoryPart(target_));
  return true;
}

void AtomicFile::Discard() {
  file_ = NativeFile();
  buffer_.clear();
  if (!temporaryPath_.empty()) (void)platform::RemoveFile(temporaryPath_);
  temporaryPath_.clear();
  failed_ = true;
}

namespace {

bool IsAlphanumeric(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The length of `name` without a database library's companion suffix.
size_t WithoutCompanionSuffix(const std::string& name) {
  for (const std::string suffix : kCompanionSuffixes) {
    if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      return name.size() - suffix.size();
  }
  return name.size();
}

// True when `name` is a temporary file of AtomicFile, or a companion of one:
// a base name (`base` when given, any non-empty one otherwise), ".tmp.", the
// six characters mkstemp puts there, and an optional companion suffix.
bool IsTemporaryName(const std::string& name, const std::string* base) {
  static const std::string kMarker = ".tmp.";
  const size_t length = WithoutCompanionSuffix(name);
  constexpr size_t kRandom = 6;
  if (length < kMarker.size() + kRandom + 1) return false;
  const size_t marker = length - kRandom - kMarker.size();
  if (name.compare(marker, kMarker.size(), kMarker) != 0) return false;
  for (size_t i = length - kRandom; i < length; ++i) {
    if (!IsAlphanumeric(name[i])) return false;
  }
  return base == nullptr ? marker > 0 : name.compare(0, marker, *base) == 0 && marker == base->size();
}

int RemoveStale(const std::string& directory, const std::string* base, long minimumAge) {
  std::vector<std::string> names;
  if (!platform::ListDirectory(directory.empty() ? std::string(".") : directory, names)) return 0;
  const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  int removed = 0;
  for (const std::string& name : names) {
    if (!IsTemporaryName(name, base)) continue;
    const std::string path = directory + name;
    const std::optional<platform::FileFacts> facts = platform::LookAt(path, false);
    if (!facts || facts->kind != platform::FileKind::kRegular) continue;
    if (now - facts->modifiedSeconds < minimumAge) continue;
    if (platform::RemoveFile(path)) ++removed;
  }
  return removed;
}

}  // namespace

int RemoveStaleTemporaryFiles(const std::string& target, long minimumAge) {
  const std::string directory = platform::DirectoryPart(target);
  const std::string base = target.substr(directory.size());
  return RemoveStale(directory, &base, minimumAge);
}

int RemoveStaleTemporaryFilesIn(const std::string& directory, long minimumAge) {
  std::string prefix = directory;
  if (!prefix.empty() && prefix.back() != '/' && prefix.back() != platform::PathSeparator())
    prefix += platform::PathSeparator();
  return RemoveStale(prefix, nullptr, minimumAge);
}

bool WriteFileAtomically(const std::string& target, std::string_view content) {
  AtomicFile file(target);
  return file.Write(content) && file.Commit();
}
