#include "infra/Environment.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

std::mutex& DirectoryMutex() {
  static std::mutex mutex;
  return mutex;
}

struct Current {
  std::string directory;
  DataDirectoryRule rule = DataDirectoryRule::kGiven;
  std::string unwritableProgramDirectory;
};

Current& State() {
  static Current current;
  return current;
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

std::string WithSlash(std::string directory) {
  if (directory.empty() || directory.back() != '/') directory += '/';
  return directory;
}

bool IsAbsolute(const std::optional<std::string>& path) { return path && !path->empty() && path->front() == '/'; }

std::optional<std::string> Variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

bool IsDirectory(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

DataDirectoryChoice ChooseDataDirectory(const DataDirectoryFacts& facts) {
  if (!facts.installedCopy && facts.executableDirectoryWritable) {
    return {WithSlash(facts.executableDirectory), DataDirectoryRule::kBesideProgram};
  }
  // The XDG base directory rules: a relative or empty XDG_DATA_HOME is ignored.
  std::string base;
  if (IsAbsolute(facts.xdgDataHome)) {
    base = WithSlash(*facts.xdgDataHome);
  } else if (IsAbsolute(facts.home)) {
    base = WithSlash(*facts.home) + ".local/share/";
  } else {
    return {std::string(), DataDirectoryRule::kUserData, !facts.installedCopy};
  }
  return {base + "tintwise/", DataDirectoryRule::kUserData, !facts.installedCopy};
}

DataDirectoryFacts ProbeDataDirectoryFacts(const std::string& executableDirectory) {
  DataDirectoryFacts facts;
  facts.executableDirectory = WithSlash(executableDirectory);
  facts.executableDirectoryWritable = ::access(facts.executableDirectory.c_str(), W_OK) == 0;
  facts.installedCopy =
      ::access((facts.executableDirectory + "../share/applications/tintwise.desktop").c_str(), F_OK) == 0;
  facts.xdgDataHome = Variable("XDG_DATA_HOME");
  facts.home = Variable("HOME");
  if (!IsAbsolute(facts.home)) {
    // getpwuid_r: the environment may lack HOME (a service, sudo -i).
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd* found = nullptr;
    if (getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
      facts.home = std::string(found->pw_dir);
    }
  }
  return facts;
}

bool MakeDirectories(const std::string& directory) {
  if (directory.empty()) return false;
  std::string path;
  size_t start = 0;
  while (start < directory.size()) {
    size_t slash = directory.find('/', start);
    if (slash == std::string::npos) slash = directory.size();
    path = directory.substr(0, slash);
    if (!path.empty() && ::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    start = slash + 1;
  }
  return IsDirectory(directory);
}

const std::string& ProgramDirectory() {
  // Written once before any reader runs; the lock only guards re-initialisation in tests.
  std::lock_guard lock(DirectoryMutex());
  return State().directory;
}

DataDirectoryRule ProgramDirectoryRule() {
  std::lock_guard lock(DirectoryMutex());
  return State().rule;
}

const std::string& UnwritableProgramDirectory() {
  std::lock_guard lock(DirectoryMutex());
  return State().unwritableProgramDirectory;
}

const char* DataDirectoryRuleName(DataDirectoryRule rule) {
  switch (rule) {
    case DataDirectoryRule::kGiven:
      return "given with --dir";
    case DataDirectoryRule::kBesideProgram:
      return "beside the program";
    case DataDirectoryRule::kUserData:
      return "the user's data directory";
  }
  return "";
}

void InitializeEnvironmentAt(const std::string& directory, DataDirectoryRule rule,
                             const std::string& unwritableProgramDirectory) {
  {
    std::lock_guard lock(DirectoryMutex());
    State().directory = WithSlash(directory);
    State().rule = rule;
    State().unwritableProgramDirectory =
        unwritableProgramDirectory.empty() ? std::string() : WithSlash(unwritableProgramDirectory);
  }
  EnterProgramDirectory();
}

bool InitializeEnvironment() {
  const std::string executableDirectory = ExecutableDirectory();
  const DataDirectoryChoice choice = ChooseDataDirectory(ProbeDataDirectoryFacts(executableDirectory));
  if (choice.directory.empty() ||
      (choice.rule == DataDirectoryRule::kUserData && !MakeDirectories(choice.directory))) {
    InitializeEnvironmentAt(executableDirectory, DataDirectoryRule::kBesideProgram);
    return false;
  }
  InitializeEnvironmentAt(choice.directory, choice.rule,
                          choice.programDirectoryUnwritable ? executableDirectory : std::string());
  return true;
}

void EnterProgramDirectory() {
  const std::string& directory = ProgramDirectory();
  // A failure keeps the current directory; the files' own opens then report it.
  if (!directory.empty() && ::chdir(directory.c_str()) != 0) return;
}
