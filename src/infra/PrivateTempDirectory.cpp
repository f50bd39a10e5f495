#include "infra/PrivateTempDirectory.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
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

}  // namespace

PrivateTempDirectory::PrivateTempDirectory() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = (base && *base ? std::string(base) : std::string("/tmp")) + "/tintwise-XXXXXX";
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
