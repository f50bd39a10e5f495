#include "cli/CommandLine.h"

#include <charconv>
#include <map>

namespace {

// A list longer than this is no longer a "closest entries" answer.
constexpr std::size_t kMaxTop = 100000;
constexpr std::size_t kMaxJobs = 256;
constexpr std::size_t kMaxConfirmLimit = 100000;

// Options that take a value, and where each one is stored.
std::optional<std::string>* OptionTarget(CommandLine& line, const std::string& name) {
  if (name == "--dir") return &line.directory;
  if (name == "--site-host") return &line.siteHost;
  if (name == "--cache-host") return &line.cacheHost;
  if (name == "--db") return &line.database;
  return nullptr;
}

// A counted option ("--name N" or "--name=N", 1..max) at argv[*i]; moves *i
// past its value. False when the value is missing or out of range.
bool CountOption(const std::string& argument, const std::string& name, int argc, const char* const* argv, int* i,
                 std::size_t max, std::size_t* count) {
  std::string value;
  if (argument.size() > name.size()) {
    value = argument.substr(name.size() + 1);
  } else if (*i + 1 < argc) {
    value = argv[++*i];
  }
  const char* const end = value.data() + value.size();
  const auto parsed = std::from_chars(value.data(), end, *count);
  return !value.empty() && parsed.ec == std::errc() && parsed.ptr == end && *count >= 1 && *count <= max;
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  static const std::map<std::string, CommandLine::Command> kCommands = {
      {"search", CommandLine::Command::kSearch},
      {"update", CommandLine::Command::kUpdate},
      {"generate", CommandLine::Command::kGenerate},
      {"signature", CommandLine::Command::kSignature},
      {"check", CommandLine::Command::kCheck},
  };
  CommandLine line;
  std::vector<std::string> words;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      words.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--help" || argument == "-h") {
      line.command = CommandLine::Command::kHelp;
      return line;
    } else if (argument == "--version") {
      line.command = CommandLine::Command::kVersion;
      return line;
    } else if (argument == "--print-dir") {
      line.command = CommandLine::Command::kPrintDir;  // after the loop: --dir may follow
    } else if (argument == "--stats") {
      line.stats = true;
    } else if (argument == "--json") {
      line.json = true;
    } else if (argument == "--confirm") {
      line.confirm = true;
    } else if (argument == "--jobs" || argument.starts_with("--jobs=")) {
      if (!CountOption(argument, "--jobs", argc, argv, &i, kMaxJobs, &line.jobs)) {
        line.error = "option '--jobs' needs a number from 1 to " + std::to_string(kMaxJobs);
        return line;
      }
    } else if (argument == "--top" || argument.starts_with("--top=")) {
      if (!CountOption(argument, "--top", argc, argv, &i, kMaxTop, &line.top)) {
        line.error = "option '--top' needs a number from 1 to " + std::to_string(kMaxTop);
        return line;
      }
    } else if (argument == "--confirm-limit" || argument.starts_with("--confirm-limit=")) {
      if (!CountOption(argument, "--confirm-limit", argc, argv, &i, kMaxConfirmLimit, &line.confirmLimit)) {
        line.error = "option '--confirm-limit' needs a number from 1 to " + std::to_string(kMaxConfirmLimit);
        return line;
      }
    } else {
      const size_t equals = argument.find('=');
      const std::string name = argument.substr(0, equals);
      std::optional<std::string>* target = OptionTarget(line, name);
      if (target == nullptr) {
        line.error = "unknown option '" + name + "'";
        return line;
      }
      if (equals != std::string::npos) {
        *target = argument.substr(equals + 1);
      } else if (i + 1 < argc) {
        *target = argv[++i];
      } else {
        line.error = "option '" + name + "' needs a value";
        return line;
      }
      if (target->value().empty()) {
        line.error = "option '" + name + "' needs a value";
        return line;
      }
    }
  }
  if (line.command == CommandLine::Command::kPrintDir) {
    if (!words.empty()) line.error = "--print-dir takes no command";
    return line;
  }
  if (words.empty()) {
    line.error = "no command given";
    return line;
  }
  const auto command = kCommands.find(words.front());
  if (command == kCommands.end()) {
    line.error = "unknown command '" + words.front() + "'";
    return line;
  }
  line.command = command->second;
  line.operands.assign(words.begin() + 1, words.end());
  const bool check = line.command == CommandLine::Command::kCheck;
  if (line.command != CommandLine::Command::kSearch && !check && line.database) {
    line.error = "--db goes with search and check only";
    return line;
  }
  if (line.command != CommandLine::Command::kSearch && (line.stats || line.top != 20)) {
    line.error = "--top and --stats go with search only";
    return line;
  }
  if (!check && (line.json || line.jobs != 0 || line.confirm || line.confirmLimit != 0)) {
    line.error = "--json, --jobs and --confirm go with check only";
    return line;
  }
  if (check) {
    if (line.operands.empty()) line.error = "check needs at least one picture or folder";
    return line;
  }
  if (line.command == CommandLine::Command::kSignature) {
    if (line.operands.empty()) line.error = "signature needs at least one image file";
    return line;
  }
  const size_t wanted = line.command == CommandLine::Command::kSearch ? 1 : 0;
  if (line.operands.size() != wanted) {
    line.error = line.command == CommandLine::Command::kSearch ? "search needs exactly one image file"
                                                               : words.front() + " takes no operands";
  }
  return line;
}
