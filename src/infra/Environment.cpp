#include "infra/Environment.h"

#include <mutex>

#include "infra/Platform.h"

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
  const std::string directory = platform::DirectoryPart(platform::ExecutablePath());
  return directory.empty() ? std::string(".") + platform::PathSeparator() : directory;
}

bool EndsInSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '/' || path.back() == platform::PathSeparator());
}

std::string WithSlash(std::string directory) {
  if (!EndsInSeparator(directory)) directory += platform::PathSeparator();
  return directory;
}

bool IsAbsolute(const std::optional<std::string>& path) { return path && platform::IsAbsolutePath(*path); }

bool IsDirectory(const std::string& path) {
  const std::optional<platform::FileFacts> facts = platform::LookAt(path, true);
  return facts && facts->kind == platform::FileKind::kDirectory;
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
    base = WithSlash(*facts.home) + platform::UserDataBelowHome();
  } else {
    return {std::string(), DataDirectoryRule::kUserData, !facts.installedCopy};
  }
  return {base + platform::ProgramFolderName(), DataDirectoryRule::kUserData, !facts.installedCopy};
}

DataDirectoryFacts ProbeDataDirectoryFacts(const std::string& executableDirectory) {
  DataDirectoryFacts facts;
  facts.executableDirectory = WithSlash(executableDirectory);
  facts.executableDirectoryWritable = platform::MayWriteIn(facts.executableDirectory);
  facts.installedCopy = platform::LookAt(facts.executableDirectory + platform::InstalledCopyMarker(), true).has_value();
  facts.xdgDataHome = platform::EnvironmentVariable(platform::UserDataVariable());
  facts.home = platform::HomeDirectory();
  return facts;
}

bool MakeDirectories(const std::string& directory) {
  if (directory.empty()) return false;
  for (size_t at = 0; at < directory.size();) {
    size_t separator = directory.find_first_of(std::string("/") + platform::PathSeparator(), at);
    if (separator == std::string::npos) separator = directory.size();
    const std::string path = directory.substr(0, separator);
    if (!path.empty() && !platform::MakeDirectory(path)) return false;
    at = separator + 1;
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
  if (!directory.empty()) (void)platform::ChangeDirectory(directory);
}
