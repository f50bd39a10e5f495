#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// `stem` (a built program's path without a suffix) as the system names the
// file: "tintwise-cli" is "tintwise-cli.exe" on Windows.
std::string ExecutableFile(const std::string& stem);

// Where a child's standard streams go; an empty path is the null device.
struct ChildStreams {
  explicit ChildStreams(std::string out = {}, std::string err = {}, std::string dir = {}, std::string peak = {})
      : outPath(std::move(out)), errPath(std::move(err)), directory(std::move(dir)), peakPath(std::move(peak)) {}

  std::string outPath;
  std::string errPath;
  std::string directory;  // the child's current directory; empty: this one's
  // When set, the child's peak resident size is measured (from a small
  // process of its own on Linux, GNU time, which writes it into this file:
  // the test process's own size would count otherwise).
  std::string peakPath;
};

// One program started by a test, with this process's environment and its
// standard input the null device. Ended and waited for on destruction if
// it still runs, so that no test leaves a process behind.
class ChildProcess {
 public:
  // Starts arguments[0] (a path) with the rest as its arguments.
  ChildProcess(const std::vector<std::string>& arguments, const ChildStreams& streams);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const;
  // The system's id of the process.
  std::int64_t Id() const;
  // What Ctrl+C does in a terminal (SIGINT; a console break event on
  // Windows, the child being the only member of its console group); false
  // when it could not be sent.
  bool Interrupt();
  // Ends the child at once, as SIGKILL or a task manager does.
  void Kill();
  // Waits for the end: the exit status, 128 + the signal's number when a
  // signal ended it (Kill gives 137 on every system), -1 when it never started.
  int Wait();
  // After Wait, with ChildStreams::peakPath set: the child's peak resident
  // size in bytes; 0 when unknown.
  std::uint64_t PeakResidentBytes() const;

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
};

// The id of a process that has ended (one this process started and waited
// for): a process id no process has now.
std::int64_t EndedProcessId();
