#include "infra/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

// The files a database library keeps beside a database file.
constexpr const char* kCompanionSuffixes[] = {"-journal", "-wal", "-shm"};

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

// Makes a finished rename durable.
void SyncDirectory(const std::string& path) {
  const int fd = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

}  // namespace

AtomicFile::AtomicFile(std::string target) : target_(std::move(target)) {
  std::string pattern = target_ + ".tmp.XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return;
  temporaryPath_ = name.data();
  // mkstemp creates 0600; keep the mode of the file being replaced, or make
  // the new one as readable as a plainly created file.
  struct stat existing {};
  (void)::fchmod(fd, ::stat(target_.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644);
  file_.reset(::fdopen(fd, "wb"));
  if (!file_) {
    ::close(fd);
    ::unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
  }
}

AtomicFile::~AtomicFile() { Discard(); }

bool AtomicFile::Write(std::string_view bytes) {
  if (!Ok() || closed_) return false;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size())
    failed_ = true;
  return !failed_;
}

bool AtomicFile::Close() {
  if (!file_) return false;
  if (closed_) return !failed_;
  if (std::fflush(file_.get()) != 0 || ::fsync(::fileno(file_.get())) != 0) failed_ = true;
  if (std::fclose(file_.release()) != 0) failed_ = true;
  file_.reset();
  closed_ = true;
  return !failed_;
}

bool AtomicFile::Rename() {
  if (temporaryPath_.empty()) return false;
  if (!closed_ && !Close()) {
    Discard();
    return false;
  }
  if (failed_ || std::rename(temporaryPath_.c_str(), target_.c_str()) != 0) {
    Discard();
    return false;
  }
  temporaryPath_.clear();
  return true;
}

bool AtomicFile::Commit() {
  if (!Rename()) return false;
  SyncDirectory(target_);
  return true;
}

bool AtomicFile::CommitDatabase() {
  if (!Rename()) return false;
  for (const char* suffix : kCompanionSuffixes) (void)::unlink((target_ + suffix).c_str());
  SyncDirectory(target_);  // one sync makes the rename and the removals durable
  return true;
}

void AtomicFile::Discard() {
  file_.reset();
  if (!temporaryPath_.empty()) ::unlink(temporaryPath_.c_str());
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
  std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(directory.empty() ? "." : directory.c_str()), ::closedir);
  if (!listing) return 0;
  const time_t now = ::time(nullptr);
  int removed = 0;
  while (const dirent* entry = ::readdir(listing.get())) {
    const std::string name = entry->d_name;
    if (!IsTemporaryName(name, base)) continue;
    const std::string path = directory + name;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (now - info.st_mtime < minimumAge) continue;
    if (::unlink(path.c_str()) == 0) ++removed;
  }
  return removed;
}

}  // namespace

int RemoveStaleTemporaryFiles(const std::string& target, long minimumAge) {
  const auto slash = target.rfind('/');
  const std::string directory = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  return RemoveStale(directory, &base, minimumAge);
}

int RemoveStaleTemporaryFilesIn(const std::string& directory, long minimumAge) {
  std::string prefix = directory;
  if (!prefix.empty() && prefix.back() != '/') prefix += '/';
  return RemoveStale(prefix, nullptr, minimumAge);
}

bool WriteFileAtomically(const std::string& target, std::string_view content) {
  AtomicFile file(target);
  return file.Write(content) && file.Commit();
}
