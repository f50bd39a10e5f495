#include "infra/Log.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>

#include "infra/Environment.h"
#include "infra/Platform.h"
#include "infra/TextEncoding.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

struct LogState {
  std::mutex mutex;
  std::unique_ptr<std::FILE, FileCloser> file;
  bool failed = false;
};

LogState& State() {
  static LogState state;
  return state;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

}  // namespace

std::string FormatLogTime(long long secondsSinceEpoch) {
  std::tm local{};
  if (!platform::LocalTime(secondsSinceEpoch, &local)) return "Invalid DateTime";
  // Years outside four digits have no rendering in the log's fixed form.
  if (local.tm_year + 1900 < 1 || local.tm_year + 1900 > 9999) return "Invalid DateTime";
  char text[32];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

void OpenLog(const std::string& fileName) {
  EnterProgramDirectory();
  LogState& state = State();
  std::lock_guard lock(state.mutex);
  state.failed = false;
  if (state.file && std::fclose(state.file.release()) != 0) state.failed = true;
  state.file.reset(std::fopen(fileName.c_str(), "ab"));
  if (!state.file) state.failed = true;
}

void CloseLog() {
  LogState& state = State();
  std::lock_guard lock(state.mutex);
  state.file.reset();
}

void WriteLog(const std::string& message) {
  // Library texts (SQLite's, an exception's) may hold UTF-8 names; the file
  // stays decodable as Shift-JIS whatever a caller hands in.
  std::string line = ValidCp932(message);
  ReplaceAll(line, "\r\n", " ");
  ReplaceAll(line, "\n", " ");
  line = FormatLogTime(static_cast<long long>(std::time(nullptr))) + " - " + line + "\r\n";

  LogState& state = State();
  std::lock_guard lock(state.mutex);
  if (!state.file || state.failed) return;
  if (std::fwrite(line.data(), 1, line.size(), state.file.get()) != line.size() ||
      std::fflush(state.file.get()) != 0)
    state.failed = true;
}
