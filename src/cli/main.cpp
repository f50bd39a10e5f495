#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "infra/Environment.h"
#include "infra/Log.h"
#include "cli/CheckCommand.h"
#include "cli/CommandLine.h"
#include "cli/TerminalView.h"
#include "imaging/D3DDevice.h"
#include "imaging/ImageCacheDirectX.h"
#include "imaging/ImageDecoder.h"
#include "infra/ServerAddress.h"
#include "control/CacheUpdate.h"
#include "control/Control.h"
#include "search/CacheDatabase.h"

namespace {

const char kUsage[] =
    "Usage: tintwise-cli [options] <command> [arguments]\n"
    "\n"
    "Commands:\n"
    "  search <image> [--db PATH] [--top N] [--stats]\n"
    "                   list the N (20) cached entries closest to the image\n"
    "                   (tab-separated: difference, id, title, poster); --db names\n"
    "                   another database than cache.db, --stats prints timings\n"
    "  update           replace cache.db with the prebuilt copy from the cache server\n"
    "  generate         rebuild the cache over the id range of cache_setting.ini\n"
    "                   (Ctrl-C stops it before the next id)\n"
    "  check [--db PATH] [--json] [--jobs N] <picture or folder>...\n"
    "                   say for each picture (folders: every picture inside,\n"
    "                   recursively) whether it was posted already; one line each,\n"
    "                   tab-separated: verdict (posted, similar, new, error),\n"
    "                   difference, id, match, title, poster, path; --json prints\n"
    "                   one JSON object per line instead; --jobs N reads N pictures\n"
    "                   at once (default: one per core); exit status 1 when a\n"
    "                   picture could not be read. Match words: same, mirrored,\n"
    "                   flipped, grayscale, tone (brightness or contrast changed)\n"
    "  signature <image>...\n"
    "                   print each image's signature text, a tab and its path\n"
    "                   (\"error\" for an image that cannot be read; exit status 1)\n"
    "\n"
    "Options:\n"
    "  --dir <directory>      use this directory instead of the program's own\n"
    "  --site-host <host>     the site's web server (host or host:port)\n"
    "  --cache-host <host>    the cache distribution server (host or host:port)\n"
    "  --version              print the version\n"
    "  --help                 print this help\n"
    "\n"
    "Files (cache.db, cache.ini, cache_setting.ini, log.txt) live in the program's\n"
    "directory. Progress goes to stderr; the exit status is 0 only on success.\n";

constexpr int kUsageError = 2;
constexpr int kInterrupted = 130;

// The generation run to stop on Ctrl-C. Control::Abort only stores an atomic
// flag, which is safe from a signal handler.
std::atomic<Control*> abortTarget{nullptr};
volatile sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
  interrupted = 1;
  if (Control* control = abortTarget.load()) control->Abort();
  static const char kNote[] = "\ntintwise-cli: stopping after the current id (Ctrl-C again to quit at once)\n";
  (void)!::write(STDERR_FILENO, kNote, sizeof kNote - 1);
  // A second Ctrl-C ends the process the ordinary way.
  ::signal(SIGINT, SIG_DFL);
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "tintwise-cli: %s\n", message.c_str());
  return 1;
}

// Lists the entries closest to `image`. The database must exist: unlike the
// window's start, a search from the command line never leaves an empty
// "cache.db" behind.
int RunSearch(Control& control, TerminalView& view, const std::string& image, const std::string& database,
              std::size_t top, bool stats) {
  if (!std::ifstream(image, std::ios::binary).good()) return Fail("cannot read " + image);
  std::error_code ignored;
  if (!std::filesystem::is_regular_file(database, ignored) || ::access(database.c_str(), R_OK) != 0)
    return Fail("no readable cache database at " + database);
  using Clock = std::chrono::steady_clock;
  const auto started = Clock::now();
  control.SetDatabasePath(database);
  view.SetQuiet(true);
  const bool loaded = control.OpenDatabase();
  view.SetQuiet(false);
  const double loadMs = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
  if (!loaded) return Fail("cannot load the cache database " + database + " (see log.txt in " + ProgramDirectory() + ")");
  control.SetPath(image);
  control.SetHitCount(top);
  control.Search();
  view.PrintRows(stdout);
  std::fflush(stdout);
  if (stats) {
    const Control::SearchTimes& times = control.LastSearchTimes();
    std::fprintf(stderr, "load_ms=%.3f signature_ms=%.3f search_ms=%.3f rows=%d\n", loadMs, times.signatureMs,
                 times.searchMs, control.RowCount());
  }
  return 0;
}

// One line per file, in the order given; a failure prints "error" in place of
// the signature and its reason on stderr, and makes the exit status 1.
int RunSignature(const std::vector<std::string>& paths) {
  int status = 0;
  for (const std::string& path : paths) {
    ImageCacheDirectX signature;
    if (signature.LoadImage(path)) {
      std::printf("%s\t%s\n", signature.cacheText.c_str(), path.c_str());
      continue;
    }
    status = 1;
    std::printf("error\t%s\n", path.c_str());
    DecodedImage ignored;
    std::string reason;
    if (DecodeImageFile(path, &ignored, &reason)) reason = "the signature could not be computed (see log.txt)";
    std::fprintf(stderr, "tintwise-cli: %s: %s\n", path.c_str(), reason.c_str());
  }
  std::fflush(stdout);
  return status;
}

// Checks pictures against a database that must exist, as search does.
int RunCheckCommand(Control& control, TerminalView& view, const std::vector<std::string>& operands,
                    const std::string& database, const CommandLine& line) {
  std::error_code ignored;
  if (!std::filesystem::is_regular_file(database, ignored) || ::access(database.c_str(), R_OK) != 0)
    return Fail("no readable cache database at " + database);
  control.SetDatabasePath(database);
  view.SetQuiet(true);
  const bool loaded = control.OpenDatabase();
  view.SetQuiet(false);
  const CacheTable* table = control.Context().cache.Table();
  if (!loaded || table == nullptr) return Fail("cannot load the cache database " + database);
  CheckOptions options;
  options.json = line.json;
  options.jobs = line.jobs != 0 ? line.jobs : std::max(1u, std::thread::hardware_concurrency());
  options.interactive = ::isatty(STDERR_FILENO) != 0;
  return RunCheck(*table, line.operands, operands, options, stdout, stderr);
}

int RunUpdate(Control& control) { return CacheUpdate(control.Context()).Run() ? 0 : 1; }

int RunGenerate(Control& control) {
  abortTarget.store(&control);
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  control.GenerateCache();
  ::signal(SIGINT, SIG_DFL);
  abortTarget.store(nullptr);
  return interrupted ? kInterrupted : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const CommandLine line = ParseCommandLine(argc, argv);
  if (!line.error.empty()) {
    std::fprintf(stderr, "tintwise-cli: %s\n\n%s", line.error.c_str(), kUsage);
    return kUsageError;
  }
  switch (line.command) {
    case CommandLine::Command::kHelp:
      std::fputs(kUsage, stdout);
      return 0;
    case CommandLine::Command::kVersion:
      std::printf("tintwise-cli %s\n", TINTWISE_VERSION);
      return 0;
    default:
      break;
  }

  // Operands name files relative to where the user is; the program then
  // works in its own directory.
  std::vector<std::string> images;
  for (const std::string& operand : line.operands) {
    std::error_code ignored;
    images.push_back(std::filesystem::absolute(operand, ignored).string());
  }
  std::string database = "cache.db";  // in the program's directory
  if (line.database) {
    std::error_code ignored;
    database = std::filesystem::absolute(*line.database, ignored).string();
  }
  if (line.directory) {
    std::error_code ignored;
    if (!std::filesystem::is_directory(*line.directory, ignored)) {
      std::fprintf(stderr, "tintwise-cli: not a directory: %s\n", line.directory->c_str());
      return kUsageError;
    }
    InitializeEnvironmentAt(std::filesystem::absolute(*line.directory, ignored).string());
  } else {
    InitializeEnvironment();
  }
  OpenLog("log.txt");
  OverrideServerHosts(line.siteHost.value_or(SiteHost()), line.cacheHost.value_or(CacheHost()));

  // Signatures are computed through the graphics device, as in the window.
  const bool needsDevice = line.command != CommandLine::Command::kUpdate;
  if (needsDevice) D3DDevice::Initialize();

  TerminalView view(stderr, ::isatty(STDERR_FILENO) != 0);
  Control control(view);
  int status = 0;
  switch (line.command) {
    case CommandLine::Command::kSearch:
      status = RunSearch(control, view, images.front(), database, line.top, line.stats);
      break;
    case CommandLine::Command::kUpdate:
      status = RunUpdate(control);
      break;
    case CommandLine::Command::kGenerate:
      status = RunGenerate(control);
      break;
    case CommandLine::Command::kSignature:
      status = RunSignature(images);
      break;
    case CommandLine::Command::kCheck:
      status = RunCheckCommand(control, view, images, database, line);
      break;
    default:
      break;
  }
  if (needsDevice) D3DDevice::Shutdown();
  CloseLog();
  return status;
}
