#include "infra/PrivateTempDirectory.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <vector>

#include "infra/Log.h"
#include "infra/NativeFile.h"
#include "infra/Platform.h"
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

// Removes the files in `directory` (links themselves, never what they
// point at), then the directory; false when it stays.
bool RemoveDirectoryAndFiles(const std::string& directory) {
  std::vector<std::string> names;
  (void)platform::ListDirectory(directory, names);
  for (const std::string& entryName : names) (void)platform::RemoveFile(directory + entryName);
  return platform::RemoveEmptyDirectory(directory);
}

// The process id in "<prefix><pid>-XXXXXX"; 0 when the name is not one.
std::int64_t OwnerOf(const std::string& name) {
  const std::string prefix = PrivateTempDirectory::kPrefix;
  if (name.compare(0, prefix.size(), prefix) != 0) return 0;
  const size_t dash = name.find('-', prefix.size());
  if (dash == std::string::npos || dash == prefix.size() || name.size() - dash != 7) return 0;
  std::int64_t pid = 0;
  for (size_t i = prefix.size(); i < dash; ++i) {
    if (name[i] < '0' || name[i] > '9' || pid > 1'000'000'000) return 0;
    pid = pid * 10 + (name[i] - '0');
  }
  return pid;
}

}  // namespace

int PrivateTempDirectory::RemoveLeftovers(const std::string& base) {
  std::vector<std::string> names;
  if (!platform::ListDirectory(base, names)) return 0;
  const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  int removed = 0;
  for (const std::string& name : names) {
    const std::int64_t owner = OwnerOf(name);
    // This process's own directories are still in use.
    if (owner <= 0 || owner == platform::ProcessId()) continue;
    // The directory is looked at itself (a link is never followed) and must
    // be this user's: in a shared temporary directory nobody else can then
    // replace it or plant files in it.
    const std::string path = base + name;
    const std::optional<platform::FileFacts> facts = platform::LookAt(path, false);
    if (!facts || facts->kind != platform::FileKind::kDirectory || !facts->ownedByCurrentUser) continue;
    if (platform::ProcessIsRunning(owner) && now - facts->modifiedSeconds < kStaleSeconds) continue;
    removed += RemoveDirectoryAndFiles(path + platform::PathSeparator()) ? 1 : 0;
  }
  return removed;
}

PrivateTempDirectory::PrivateTempDirectory() {
  const std::string base = platform::TemporaryDirectory();
  RemoveLeftovers(base);
  const std::string stem = base + kPrefix + std::to_string(platform::ProcessId()) + "-";
  path_ = platform::MakeUniqueDirectory(stem);
  if (path_.empty()) WriteLog(Text().createFailed + PathForLog(stem + "XXXXXX"));
}

PrivateTempDirectory::~PrivateTempDirectory() {
  if (!path_.empty()) (void)RemoveDirectoryAndFiles(path_);
}

std::string PrivateTempDirectory::WriteFile(const std::string& name, const std::string& bytes) {
  if (path_.empty()) return {};
  const std::string path = path_ + name;
  NativeFile file = NativeFile::CreateNew(path);
  const bool ok = file.IsOpen() && file.WriteAll(bytes.data(), bytes.size()) && file.Close();
  if (!ok) {
    file = NativeFile();
    (void)platform::RemoveFile(path);
    WriteLog(Text().writeFailed + PathForLog(path));
    return {};
  }
  return path;
}
