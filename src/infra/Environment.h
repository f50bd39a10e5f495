#pragma once

#include <optional>
#include <string>

// Where the system's files live. Relative file names of the system
// ("log.txt", "cache.db", "cache.ini", "cache_setting.ini", "php/",
// "image/") are resolved in the data directory, which is also made the
// current directory. The rule, in order:
//   1. a directory given by the caller (--dir, tests);
//   2. the executable's own directory, when the program may write there and
//      the executable is not an installed copy (a build tree, ./run.sh, a
//      portable copy);
//   3. otherwise the user's data directory, $XDG_DATA_HOME/tintwise
//      (%LOCALAPPDATA%\Tintwise on Windows, see platform::UserDataVariable;
//      ~/.local/share/tintwise when XDG_DATA_HOME is unset, empty or not an
//      absolute path), made on first use.
// An installed copy is one whose desktop entry lies at
// <executable's directory>/../share/applications/tintwise.desktop (on
// Windows the installer's marker, see platform::InstalledCopyMarker): it never
// writes into its bin directory, even when run by root or installed under a
// writable prefix.
enum class DataDirectoryRule { kGiven, kBesideProgram, kUserData };

// What the choice depends on, gathered by ProbeDataDirectoryFacts.
struct DataDirectoryFacts {
  std::string executableDirectory;  // ends in '/'
  bool executableDirectoryWritable = false;
  bool installedCopy = false;
  std::optional<std::string> xdgDataHome;  // $XDG_DATA_HOME, when set
  std::optional<std::string> home;         // $HOME, else the account's home
};

struct DataDirectoryChoice {
  std::string directory;  // ends in '/'; empty when no directory can be named
  DataDirectoryRule rule = DataDirectoryRule::kBesideProgram;
  // Rule 3 because the program may not write its own directory (a portable
  // copy in a shared or read-only folder), not because it is installed: the
  // files beside the program are then not used.
  bool programDirectoryUnwritable = false;
};

// Applies rules 2 and 3 above. Pure: touches no file. The directory is empty
// when the user data directory is needed but neither an absolute
// XDG_DATA_HOME nor an absolute home is known.
DataDirectoryChoice ChooseDataDirectory(const DataDirectoryFacts& facts);

// Gathers the facts for the executable in `executableDirectory` (ending in
// '/') from the file system and the environment.
DataDirectoryFacts ProbeDataDirectoryFacts(const std::string& executableDirectory);

// The data directory, ending in '/'. Empty until InitializeEnvironment or
// InitializeEnvironmentAt has run.
const std::string& ProgramDirectory();
// Which rule chose ProgramDirectory.
DataDirectoryRule ProgramDirectoryRule();
// The executable's directory (ending in '/') when InitializeEnvironment
// passed it over because it cannot be written (see DataDirectoryChoice);
// empty otherwise.
const std::string& UnwritableProgramDirectory();
// A short English phrase naming the rule, for --version and --print-dir.
const char* DataDirectoryRuleName(DataDirectoryRule rule);

// Chooses the data directory by the rule above from /proc/self/exe, makes it
// (with its parents, mode 0700) when it is the user data directory, and
// makes it the current directory. Returns false when the directory cannot
// be named or made; ProgramDirectory is then the executable's directory, as
// before this rule existed, and the caller reports the failure. Calling it
// again recomputes the same values.
bool InitializeEnvironment();

// As InitializeEnvironment, with the given directory standing in for the
// data directory (tests and the command-line front end's --dir); it is not
// made. A missing trailing '/' is added. `unwritableProgramDirectory` stands
// in for UnwritableProgramDirectory (tests).
void InitializeEnvironmentAt(const std::string& directory,
                             DataDirectoryRule rule = DataDirectoryRule::kGiven,
                             const std::string& unwritableProgramDirectory = {});

// Sets the current directory to ProgramDirectory again; a failure leaves it
// unchanged, as at start-up.
void EnterProgramDirectory();

// Makes `directory` and any missing parents (mode 0700). True when it exists
// as a directory afterwards.
bool MakeDirectories(const std::string& directory);
