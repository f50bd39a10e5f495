#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The command-line front end's arguments: one command with its operands, and
// options that may stand anywhere ("--dir D" or "--dir=D").
struct CommandLine {
  enum class Command { kNone, kHelp, kVersion, kPrintDir, kSearch, kUpdate, kGenerate, kSignature, kCheck };

  Command command = Command::kNone;
  std::vector<std::string> operands;
  std::optional<std::string> directory;  // --dir: stands in for the program's directory
  std::optional<std::string> siteHost;   // --site-host
  std::optional<std::string> cacheHost;  // --cache-host
  std::optional<std::string> database;   // --db: search this database instead of cache.db
  std::size_t top = 20;                  // --top: how many entries search lists
  bool stats = false;                    // --stats: search prints its timings to stderr
  bool json = false;                     // --json: check prints JSON lines
  std::size_t jobs = 0;                  // --jobs: check's decoding threads (0: one per usable core)
  bool confirm = false;                  // --confirm: check confirms verdicts by the site's pictures
  std::size_t confirmLimit = 0;          // --confirm-limit: site pictures fetched per run (0: the default)
  // Set when the arguments are unusable; says why, for the usage message.
  std::string error;
};

// Parses argv[1..argc-1]. Never fails: a problem is reported in `error`.
CommandLine ParseCommandLine(int argc, const char* const* argv);
