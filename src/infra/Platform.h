#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// What differs between the systems the program runs on (Linux and Windows),
// behind one interface: the rooms above call these and NativeFile, never the
// system's own file, process or console functions. Paths are UTF-8 byte
// strings everywhere in the program; the Windows implementation converts
// them to UTF-16 at each call, so every name the file system can hold can be
// named, and accepts '/' as well as '\' as a separator. Failures return
// false or nothing, with the system's reason in `why` when one is asked for
// (UTF-8); nothing throws. Any thread may call these.
namespace platform {

// The separator the system's own paths use ('/' or '\'); both are accepted.
char PathSeparator();

// True when `path` names an absolute location ("/x"; "C:\x", "C:/x", "\\server\x").
bool IsAbsolutePath(const std::string& path);

// `path` made absolute against the current directory (not otherwise
// tidied: no link is resolved); `path` itself when that fails or `path` is
// empty.
std::string AbsolutePath(const std::string& path);

// `directory` and `name` joined by the separator; none is added when
// `directory` is empty or already ends in one.
std::string JoinPath(const std::string& directory, const std::string& name);

// The directory part of `path` with its trailing separator ("a/b/c" -> "a/b/"),
// or empty when `path` has no separator.
std::string DirectoryPart(const std::string& path);

enum class FileKind { kRegular, kDirectory, kLink, kOther };

struct FileFacts {
  FileKind kind = FileKind::kOther;
  std::uint64_t bytes = 0;
  std::int64_t modifiedSeconds = 0;  // since the epoch
  std::int32_t modifiedNanoseconds = 0;  // within that second, as finely as the file system keeps it
  bool ownedByCurrentUser = false;    // always true on Windows, whose temporary folders are the user's own
};

// What `path` is, looking at a link itself unless `followLinks`; nothing
// when it does not exist or cannot be looked at.
std::optional<FileFacts> LookAt(const std::string& path, bool followLinks);

// True when nothing is at `path`: the system says there is no such file or
// folder. One that cannot be looked at for another reason (permissions) is
// not missing.
bool IsMissing(const std::string& path);

// True when `path` is a regular file (a link is followed) that this process
// may open for reading.
bool AccessibleForReading(const std::string& path);

// True when `a` and `b` both exist and are the same file or directory.
bool SameFile(const std::string& a, const std::string& b);

// The names in `directory` ("." and ".." left out), in no particular order.
// False, with `why`, when the directory cannot be listed.
bool ListDirectory(const std::string& directory, std::vector<std::string>& names, std::string* why = nullptr);

// One thing WalkDirectory found.
struct WalkEntry {
  enum class Problem {
    kNone,
    kCannotList,    // the folder at `path` could not be listed, or not to its end
    kCannotLookAt,  // what the entry at `path` is could not be told
  };
  std::string path;      // the walked directory joined with `relative`
  std::string relative;  // the names below the walked directory, joined; empty for that directory itself
  FileKind kind = FileKind::kOther;  // with no problem: what the entry is, a link followed
  Problem problem = Problem::kNone;
  std::string why;  // the system's reason for a problem
};

// Every entry in `directory` and, recursively, in its sub-directories, in no
// particular order: each one that is not a directory (links followed, so a
// link to a folder shows as kDirectory, but is never entered), each folder
// that could not be listed (after what was listed of it) and each entry
// that could not be looked at. The directories entered are not entries
// themselves; an entry that vanished or a link leading nowhere is left out.
std::vector<WalkEntry> WalkDirectory(const std::string& directory);

// Moves `from` over `to` in one step, replacing a file there. On Windows a
// target that another program holds open is tried again for about two
// seconds; if it stays held the move fails and `to` is unchanged.
bool ReplaceFile(const std::string& from, const std::string& to, std::string* why = nullptr);

// Makes a completed ReplaceFile or RemoveFile in `directory` durable where
// the system needs that asked for (Linux); elsewhere does nothing.
void SyncDirectory(const std::string& directory);

bool RemoveFile(const std::string& path);
bool RemoveEmptyDirectory(const std::string& path);

// Makes one directory, private to this user where the system allows
// (0700 on Linux; Windows' user folders already are); true when it exists
// afterwards as a directory.
bool MakeDirectory(const std::string& path);

// As MakeDirectory, but with the permissions this user's new files get
// (0777 less the umask on Linux): for folders other users may read.
bool MakeSharedDirectory(const std::string& path);

// Makes a fresh directory with a unique name starting with `prefix` (a path
// whose last part is a name stem, e.g. "/tmp/tintwise-"), private to this
// user; its path ending in the separator, or empty on failure.
std::string MakeUniqueDirectory(const std::string& prefix, std::string* why = nullptr);

// Sets `path`'s modification time to now without following a link; false
// for a link or a file that is not there.
bool MarkModifiedNow(const std::string& path);

// True when this process may create files in `directory`.
bool MayWriteIn(const std::string& directory);

bool ChangeDirectory(const std::string& directory);

// The running executable's full path, or empty when unknown.
std::string ExecutablePath();

// The value of an environment variable (UTF-8), nothing when it is unset.
std::optional<std::string> EnvironmentVariable(const char* name);

// The per-user data folder's rule: the variable naming its base
// ("XDG_DATA_HOME"; "LOCALAPPDATA" on Windows), the base below the home
// directory when that variable is unusable (".local/share/"; nothing on
// Windows), the home directory itself (from the environment or the user
// database), and the program's folder name below the base ("tintwise/";
// "Tintwise\" on Windows).
const char* UserDataVariable();
const char* UserDataBelowHome();
std::optional<std::string> HomeDirectory();
const char* ProgramFolderName();

// The file whose presence beside the executable (a path relative to its
// directory) marks an installed copy, which never keeps its files there:
// "../share/applications/tintwise.desktop" on Linux, the installer's
// "installed.txt" on Windows.
const char* InstalledCopyMarker();

// The directory for short-lived private files: $TMPDIR or /tmp on Linux,
// the user's temporary folder on Windows. Ends in the separator.
std::string TemporaryDirectory();

// Where a per-user program keeps its re-creatable cache: $XDG_CACHE_HOME
// (or ~/.cache) on Linux, %LOCALAPPDATA% on Windows; the caller adds the
// program's folder. Ends in the separator; empty when no base is known.
// (The data folder follows UserDataVariable's rule, in Environment.)
std::string UserCacheBase();

// This process's id, and whether a process with `id` is running now.
std::int64_t ProcessId();
bool ProcessIsRunning(std::int64_t id);

// The program's arguments as UTF-8 (on Windows read again from the
// system's UTF-16 command line, since argv holds the ANSI code page's), and
// the console set to show UTF-8 output. Call once, first thing in main.
std::vector<std::string> StartCommandLineProgram(int argc, char** argv);

// True when the standard error stream is a terminal (console) rather than a
// file or pipe.
bool StandardErrorIsTerminal();

// Writes bytes straight to the standard error stream: safe from an
// interrupt handler.
void WriteToStandardError(const char* bytes, std::size_t count);

// Calls `handler` on Ctrl+C (SIGINT / the console's control event) from
// then on. The handler runs in a signal handler or on a thread of the
// system's: it may only store into atomics and call WriteToStandardError
// and RestoreInterruptDefault, which makes the next Ctrl+C end the process
// at once.
void OnInterrupt(void (*handler)());
void RestoreInterruptDefault();

// Memory aligned to `alignment` (a power of two, at least the pointer
// size), or null; given back with FreeAligned only.
void* AllocateAligned(std::size_t alignment, std::size_t bytes);
void FreeAligned(void* memory);

// Local time of `secondsSinceEpoch` in *local; false when it has none.
bool LocalTime(std::int64_t secondsSinceEpoch, std::tm* local);

// The system's load line ("0.52 0.58 0.59 3/467 12345", see IdleCores);
// nothing where the system has none.
std::optional<std::string> LoadAverageLine();

}  // namespace platform
