#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "infra/Environment.h"
#include "infra/Log.h"
#include "infra/Platform.h"
#include "infra/ProcessorPlacement.h"
#include "cli/CheckCommand.h"
#include "cli/CommandLine.h"
#include "cli/GenerationProgress.h"
#include "cli/OutputEscape.h"
#include "cli/TerminalView.h"
#include "imaging/D3DDevice.h"
#include "imaging/FileImageSource.h"
#include "imaging/ImageCacheDirectX.h"
#include "imaging/ImageError.h"
#include "infra/ServerAddress.h"
#include "control/CacheGeneration.h"
#include "control/CacheUpdate.h"
#include "control/Control.h"
#include "control/DataDirectoryNotice.h"
#include "control/PoliteSiteSource.h"
#include "control/QueryPicture.h"
#include "control/SitePictureCache.h"
#include "search/CacheDatabase.h"

namespace {

const char kUsage[] =
    "Usage: tintwise-cli [options] <command> [arguments]\n"
    "\n"
    "Commands:\n"
    "  search <image> [--db PATH] [--top N] [--stats]\n"
    "                   list the N (20) cached entries closest to the image\n"
    "                   (a file, or an http:// or https:// link to a picture)\n"
    "                   (tab-separated: difference, id, title, poster); --db names\n"
    "                   another database than cache.db, --stats prints timings\n"
    "  update           replace cache.db with the prebuilt copy from the cache server\n"
    "  generate         rebuild the cache over the id range of cache_setting.ini\n"
    "                   (Ctrl-C stops it before the next id)\n"
    "  check [--db PATH] [--json] [--jobs N] [--confirm [--confirm-limit N]]\n"
    "        <picture or folder>...\n"
    "                   say for each picture (folders: every picture inside,\n"
    "                   recursively; links are fetched first) whether it was posted\n"
    "                   already; one line each,\n"
    "                   tab-separated: verdict (posted, similar, new, error),\n"
    "                   difference, id, match, title, poster, path; --json prints\n"
    "                   one JSON object per line instead; --jobs N reads N pictures\n"
    "                   at once (default: one per usable core); exit status 1 when a\n"
    "                   picture could not be read. Match words: same, mirrored,\n"
    "                   flipped, grayscale, tone (brightness or contrast changed),\n"
    "                   reframed (cropped, framed or turned a little), confirmed\n"
    "                   (with --confirm: the site's own picture agrees).\n"
    "                   --confirm compares each verdict's few candidates with the\n"
    "                   site's pictures (at most 3 a picture; one request a\n"
    "                   second; pictures kept and reused in the site-picture\n"
    "                   cache): posted and confirmed, downgraded when the\n"
    "                   pictures differ, unchanged when the site cannot be\n"
    "                   reached (said on stderr); --confirm-limit N fetches at\n"
    "                   most N site pictures a run (100)\n"
    "  signature <image>...\n"
    "                   print each image's signature text, a tab and its path\n"
    "                   (\"error\" for an image that cannot be read; exit status 1)\n"
    "\n"
    "Options:\n"
    "  --dir <directory>      use this directory instead of the program's own\n"
    "  --site-host <host>     the site's web server (host or host:port)\n"
    "  --cache-host <host>    the cache distribution server (host or host:port)\n"
    "  --print-dir            print the directory of the files and exit\n"
    "  --version              print the version and the directory of the files\n"
    "  --help                 print this help\n"
    "\n"
    "Files (cache.db, cache.ini, cache_setting.ini, log.txt) live in the program's\n"
    "directory when it may write there, else in the user's data directory:\n"
    "$XDG_DATA_HOME/tintwise (~/.local/share/tintwise), %LOCALAPPDATA%\\Tintwise on\n"
    "Windows; --print-dir shows which. Progress goes to stderr;\n"
    "the exit status is 0 only on success.\n";

constexpr int kUsageError = 2;
constexpr int kInterrupted = 130;

// The generation run or link download to stop on Ctrl-C, and what to say
// then. Control::Abort only stores an atomic flag, which is safe from a
// signal handler (and from the thread Windows runs the handler on).
std::atomic<Control*> abortTarget{nullptr};
std::atomic<const char*> interruptNote{nullptr};
std::atomic<bool> interrupted{false};

constexpr char kStoppingRun[] = "\ntintwise-cli: stopping; saving what was gathered (Ctrl-C again to quit at once)\n";
constexpr char kStoppingConfirmation[] = "\ntintwise-cli: stopping the confirmation\n";
constexpr char kStoppingDownload[] = "\ntintwise-cli: stopping the download\n";

void StopOnInterrupt() {
  interrupted.store(true);
  if (Control* control = abortTarget.load()) control->Abort();
  if (const char* note = interruptNote.load()) platform::WriteToStandardError(note, std::strlen(note));
  // A second Ctrl-C ends the process the ordinary way.
  platform::RestoreInterruptDefault();
}

// `status`, or 1 when what was printed on stdout did not all get written (a
// full disk, a closed pipe): results that never arrived are no success.
int OutputWritten(int status) {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  std::fprintf(stderr, "tintwise-cli: cannot write the output: %s\n", std::strerror(errno));
  return status == 0 ? 1 : status;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "tintwise-cli: %s\n", message.c_str());
  return 1;
}

// No cache database to read: names the file, and for a portable copy that
// could not use its own folder, why and how to use the cache beside it.
int NoDatabase(const std::string& database) {
  const DataDirectoryNotice notice = DataDirectoryNotice::Current();
  std::string message = "no readable cache database at " + database;
  if (!notice.Empty() && database == ProgramDirectory() + "cache.db") message += "\ntintwise-cli: " + notice.English();
  return Fail(message);
}

// Downloads a linked picture into `picture`; Ctrl-C stops the download.
QueryPicture::Outcome DownloadLinked(Control& control, const std::string& url, QueryPicture& picture) {
  control.SetRunning(true);
  interruptNote.store(kStoppingDownload);
  abortTarget.store(&control);
  platform::OnInterrupt(StopOnInterrupt);
  const QueryPicture::Outcome outcome = picture.Download(url, control.Context());
  platform::RestoreInterruptDefault();
  abortTarget.store(nullptr);
  return outcome;
}

// Why a link gave no picture, in English.
std::string LinkFailure(QueryPicture::Outcome outcome, const QueryPicture& picture) {
  switch (outcome) {
    case QueryPicture::Outcome::kOk:
      return {};
    case QueryPicture::Outcome::kNoAnswer:
      return "the download failed: " + picture.Failure().English();
    case QueryPicture::Outcome::kBroken:
      return "the download broke off: " + picture.Failure().English();
    case QueryPicture::Outcome::kTooLarge:
      return "the picture is larger than 64 MiB";
    case QueryPicture::Outcome::kAborted:
      return "the download was stopped";
    case QueryPicture::Outcome::kNotAPicture:
      return "not a picture";
    case QueryPicture::Outcome::kNoTemporary:
      return "cannot write a temporary file";
  }
  return "the download failed";
}

// Downloads a linked picture into `picture` (Ctrl-C stops the download);
// the exit status of a failure, or 0.
int FetchLinked(Control& control, const std::string& url, QueryPicture& picture) {
  const QueryPicture::Outcome outcome = DownloadLinked(control, url, picture);
  if (outcome == QueryPicture::Outcome::kOk) return 0;
  if (outcome == QueryPicture::Outcome::kAborted) {
    std::fprintf(stderr, "tintwise-cli: %s: %s\n", url.c_str(), LinkFailure(outcome, picture).c_str());
    return kInterrupted;
  }
  return Fail(url + ": " + LinkFailure(outcome, picture));
}

// Lists the entries closest to `image`. The database must exist: unlike the
// window's start, a search from the command line never leaves an empty
// "cache.db" behind.
int RunSearch(Control& control, TerminalView& view, std::string image, const std::string& database,
              std::size_t top, bool stats) {
  const bool databaseReadable = platform::AccessibleForReading(database);
  // A link's picture is kept in a private temporary file until the search is over.
  QueryPicture linked;
  // Messages name the picture as the user gave it, never the temporary file.
  const std::string shown = image;
  if (QueryPicture::IsLink(image)) {
    if (!databaseReadable) return NoDatabase(database);
    if (const int status = FetchLinked(control, image, linked); status != 0) return status;
    image = linked.Path();
  }
  // Opened as the search will open it: a FIFO or device is refused here,
  // never waited on, and a missing file fails before the cache is loaded.
  if (ImageError error; !FileImageSource().Open(image, &error)) {
    return Fail("cannot read the picture " + OutputEscape::Text(shown) + ": " + ImageErrorEnglish(error.kind) + " (" +
                error.detail + ")");
  }
  if (!databaseReadable) return NoDatabase(database);
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
  if (!control.Search()) {
    view.EndProgressLine();
    const ImageError& error = control.LastSearchError();
    return Fail("cannot read the picture " + OutputEscape::Text(shown) + ": " + ImageErrorEnglish(error.kind) + " (" +
                error.detail + ")");
  }
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
    ImageError error;
    const std::string shown = OutputEscape::Text(path);  // a name must not add a line or a field
    if (signature.LoadImage(path, &error)) {
      std::printf("%s\t%s\n", signature.cacheText.c_str(), shown.c_str());
      continue;
    }
    status = 1;
    std::printf("error\t%s\n", shown.c_str());
    std::fprintf(stderr, "tintwise-cli: %s: %s (%s)\n", shown.c_str(), ImageErrorEnglish(error.kind), error.detail.c_str());
  }
  std::fflush(stdout);
  return status;
}

// Checks pictures against a database that must exist, as search does.
int RunCheckCommand(Control& control, TerminalView& view, const std::vector<std::string>& operands,
                    const std::string& database, const CommandLine& line) {
  if (!platform::AccessibleForReading(database)) return NoDatabase(database);
  control.SetDatabasePath(database);
  view.SetQuiet(true);
  const bool loaded = control.OpenDatabase();
  view.SetQuiet(false);
  const CacheTable* table = control.Context().cache.Table();
  if (!loaded || table == nullptr) return Fail("cannot load the cache database " + database);
  CheckOptions options;
  options.json = line.json;
  // Links are fetched first, as search fetches them; their pictures stay in
  // temporary files until the check is over. A failed one is an error line.
  std::vector<std::string> readable = operands;
  std::deque<QueryPicture> linked;
  options.operandErrors.resize(operands.size());
  for (std::size_t i = 0; i < operands.size(); ++i) {
    if (!QueryPicture::IsLink(operands[i])) continue;
    QueryPicture& picture = linked.emplace_back();
    const QueryPicture::Outcome outcome = DownloadLinked(control, operands[i], picture);
    if (outcome == QueryPicture::Outcome::kAborted) {
      std::fprintf(stderr, "tintwise-cli: %s: %s\n", operands[i].c_str(), LinkFailure(outcome, picture).c_str());
      return kInterrupted;
    }
    if (outcome == QueryPicture::Outcome::kOk) {
      readable[i] = picture.Path();
    } else {
      options.operandErrors[i] = LinkFailure(outcome, picture);
    }
  }
  // One per processor this process may use: taskset or a container's
  // cpuset may allow far fewer than the machine has.
  options.jobs = line.jobs != 0 ? line.jobs : static_cast<std::size_t>(ProcessorsAllowed());
  options.interactive = platform::StandardErrorIsTerminal();
  // Confirmation asks the site for a few pictures, politely (one request a
  // second, a cap per run), keeping them where "サイトの画像" keeps its own.
  SitePictureCache siteCache(SitePictureCache::DefaultDirectory());
  PoliteSiteSource site(control.Context().session, SitePictureCache::DefaultDirectory().empty() ? nullptr : &siteCache,
                        line.confirmLimit != 0 ? line.confirmLimit : PoliteSiteSource::kDefaultFetchLimit,
                        control.Context().running);
  if (line.confirm) {
    options.confirm = true;
    options.site = site.AsSource();
    options.running = &control.Context().running;
    control.SetRunning(true);
    interruptNote.store(kStoppingConfirmation);
    abortTarget.store(&control);
    platform::OnInterrupt(StopOnInterrupt);
  }
  const int status = RunCheck(*table, line.operands, readable, options, stdout, stderr);
  if (line.confirm) {
    platform::RestoreInterruptDefault();
    abortTarget.store(nullptr);
    std::fprintf(stderr, "confirmation: %zu site pictures fetched (%zu requests)\n", site.Fetched(), site.Requests());
  }
  return status;
}

// The reason of a failed operation is its last status text, which the view
// has already written to stderr.
int RunUpdate(Control& control) { return CacheUpdate(control.Context()).Run() ? 0 : 1; }

// Exit status 0 only when the records were saved and "cache.db" exported and
// loaded; 1 when the run refused to start, reached no page of the site or
// any of that failed; 130 when Ctrl-C stopped a run that then saved what it
// had. Without a terminal a
// progress line is printed every 100 ids or 10 seconds; a summary always ends
// a run that started.
int RunGenerate(Control& control, bool interactive) {
  interruptNote.store(kStoppingRun);
  abortTarget.store(&control);
  platform::OnInterrupt(StopOnInterrupt);
  GenerationProgress progress(stderr, GenerationProgress::Clock::now());
  CacheGeneration::IdObserver observer;
  if (!interactive) {
    observer = [&progress](const GenerationTally& tally) { progress.AfterId(tally, GenerationProgress::Clock::now()); };
  }
  CacheGeneration run(control.Context(), std::move(observer));
  const OperationResult result = run.Run();
  platform::RestoreInterruptDefault();
  abortTarget.store(nullptr);
  const GenerationTally& tally = run.Tally();
  if (tally.started) progress.Summary(tally, tally.stopped, GenerationProgress::Clock::now());
  if (tally.ReachedNoPage())
    return Fail("no page of the id range could be fetched (is the site down, or --site-host wrong? see log.txt); "
                "cache.ini and cache.db were left as they were");
  if (!result) return 1;
  return interrupted ? kInterrupted : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = platform::StartCommandLineProgram(argc, argv);
  std::vector<const char*> argumentTexts;
  for (const std::string& argument : arguments) argumentTexts.push_back(argument.c_str());
  const CommandLine line = ParseCommandLine(static_cast<int>(argumentTexts.size()), argumentTexts.data());
  if (!line.error.empty()) {
    std::fprintf(stderr, "tintwise-cli: %s\n\n%s", line.error.c_str(), kUsage);
    return kUsageError;
  }
  switch (line.command) {
    case CommandLine::Command::kHelp:
      std::fputs(kUsage, stdout);
      return OutputWritten(0);
    default:
      break;
  }

  // Operands name files relative to where the user is; the program then
  // works in its own directory.
  std::vector<std::string> images;
  for (const std::string& operand : line.operands)
    images.push_back(QueryPicture::IsLink(operand) ? operand : platform::AbsolutePath(operand));
  std::string database;  // "cache.db" in the data directory unless --db names one
  if (line.database) database = platform::AbsolutePath(*line.database);
  if (line.directory) {
    const std::optional<platform::FileFacts> facts = platform::LookAt(*line.directory, true);
    if (!facts || facts->kind != platform::FileKind::kDirectory) {
      std::fprintf(stderr, "tintwise-cli: not a directory: %s\n", line.directory->c_str());
      return kUsageError;
    }
    const std::string directory = platform::AbsolutePath(*line.directory);
    InitializeEnvironmentAt(directory);
    // Relative file names must not land in whatever directory the command
    // was started from.
    if (!platform::SameFile(".", directory)) {
      std::fprintf(stderr, "tintwise-cli: cannot enter directory: %s\n", line.directory->c_str());
      return kUsageError;
    }
  } else if (!InitializeEnvironment()) {
    if (line.command == CommandLine::Command::kVersion) std::printf("tintwise-cli %s\n", TINTWISE_VERSION);
    return Fail(std::string("cannot make the data directory (is ") + platform::UserDataVariable() +
                " usable?); --dir names one");
  }
  // Named in full in messages: the user may not know which directory is in use.
  if (!line.database) database = ProgramDirectory() + "cache.db";
  if (line.command == CommandLine::Command::kVersion || line.command == CommandLine::Command::kPrintDir) {
    std::string directory = ProgramDirectory();
    if (directory.size() > 1) directory.pop_back();  // the trailing '/'
    if (line.command == CommandLine::Command::kPrintDir) {
      std::printf("%s\n", directory.c_str());
    } else {
      std::printf("tintwise-cli %s\nfiles: %s (%s)\n", TINTWISE_VERSION, directory.c_str(),
                  DataDirectoryRuleName(ProgramDirectoryRule()));
      if (const DataDirectoryNotice notice = DataDirectoryNotice::Current(); !notice.Empty())
        std::printf("note: %s\n", notice.English().c_str());
    }
    return OutputWritten(0);
  }
  OpenLog("log.txt");
  OverrideServerHosts(line.siteHost.value_or(SiteHost()), line.cacheHost.value_or(CacheHost()));

  // A signature needs neither the graphics device nor Control (whose
  // internet session starts the HTTP library): nothing more is set up.
  if (line.command == CommandLine::Command::kSignature) {
    const int status = RunSignature(images);
    CloseLog();
    return OutputWritten(status);
  }

  // The graphics device starts as in the window (its start is logged).
  const bool needsDevice = line.command != CommandLine::Command::kUpdate;
  if (needsDevice) D3DDevice::Initialize();

  const bool interactive = platform::StandardErrorIsTerminal();
  TerminalView view(stderr, interactive);
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
      status = RunGenerate(control, interactive);
      break;
    case CommandLine::Command::kCheck:
      status = RunCheckCommand(control, view, images, database, line);
      break;
    default:
      break;
  }
  if (needsDevice) D3DDevice::Shutdown();
  CloseLog();
  return OutputWritten(status);
}
