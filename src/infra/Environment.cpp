#include "infra/Environment.h"

#include <unistd.h>

#include <mutex>
#include <vector>

namespace {

std::mutex& DirectoryMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string& Directory() {
  static std::string directory;
  return directory;
}

std::string ExecutableDirectory() {
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return "./";
    if (static_cast<size_t>(length) < buffer.size()) {
      std::string path(buffer.data(), static_cast<size_t>(length));
      const auto slash = path.rfind('/');
      return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

const std::string& ProgramDirectory() {
  // Written once before any reader runs; the lock only guards re-initialisation in tests.
  std::lock_guard lock(DirectoryMutex());
  return Directory();
}

void InitializeEnvironmentAt(const std::string& directory) {
  {
    std::lock_guard lock(DirectoryMutex());
    Directory() = directory;
    if (Directory().empty() || Directory().back() != '/') Directory() += '/';
  }
  EnterProgramDirectory();
}

void InitializeEnvironment() { InitializeEnvironmentAt(ExecutableDirectory()); }

void EnterProgramDirectory() {
  const std::string& directory = ProgramDirectory();
  if (!directory.empty()) (void)chdir(directory.c_str());
}
