#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>

extern char** environ;

std::string ExecutableFile(const std::string& stem) { return stem; }

struct ChildProcess::Handle {
  std::string peakPath;
  pid_t pid = 0;
  bool running = false;
  int status = -1;
};

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, const ChildStreams& streams)
    : handle_(std::make_unique<Handle>()) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  const int flags = O_WRONLY | O_CREAT | O_TRUNC;
  posix_spawn_file_actions_addopen(&actions, 1, streams.outPath.empty() ? "/dev/null" : streams.outPath.c_str(), flags, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, streams.errPath.empty() ? "/dev/null" : streams.errPath.c_str(), flags, 0644);
  if (!streams.directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, streams.directory.c_str());
  handle_->peakPath = streams.peakPath;
  std::vector<std::string> copies = arguments;
  if (!streams.peakPath.empty()) copies.insert(copies.begin(), {"/usr/bin/time", "-f", "%M", "-o", streams.peakPath});
  std::vector<char*> argv;
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  handle_->running = !arguments.empty() && posix_spawn(&handle_->pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
  if (handle_->running) {
    Kill();
    Wait();
  }
}

bool ChildProcess::Started() const { return handle_->pid > 0; }

std::int64_t ChildProcess::Id() const { return handle_->pid; }

bool ChildProcess::Interrupt() { return handle_->running && ::kill(handle_->pid, SIGINT) == 0; }

void ChildProcess::Kill() {
  if (handle_->running) ::kill(handle_->pid, SIGKILL);
}

int ChildProcess::Wait() {
  if (handle_->running) {
    int wstatus = 0;
    if (::waitpid(handle_->pid, &wstatus, 0) == handle_->pid) {
      handle_->status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    }
    handle_->running = false;
  }
  return handle_->status;
}

std::uint64_t ChildProcess::PeakResidentBytes() const {
  if (handle_->peakPath.empty()) return 0;
  std::ifstream in(handle_->peakPath);
  std::uint64_t kibibytes = 0;
  return in >> kibibytes ? kibibytes * 1024 : 0;
}

std::int64_t EndedProcessId() {
  ChildProcess child({"/bin/true"}, ChildStreams{});
  child.Wait();
  return child.Id();
}
