// The HTTP library and the forty libraries it brings are loaded only by the
// commands that fetch, and only when they do: the dynamic loader's own
// report (LD_DEBUG=libs) of every tintwise-cli run lists what it loaded.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/CacheFileWriter.h"
#include "support/TempDirectory.h"

extern char** environ;

namespace {

struct Case {
  std::vector<std::string> arguments;  // after --dir <program directory>
  bool fetches;
  int status;  // the command's exit status, so it did its work
};

struct ReportedRun {
  int status = -1;
  std::string report;  // the loader's
};

}  // namespace

class CliLibrariesTest : public ::testing::Test {
 protected:
  // Runs tintwise-cli with the loader reporting the libraries it looks for,
  // at start-up and later.
  ReportedRun RunReported(const std::vector<std::string>& operands) {
    const std::string reportDir = work_.File("report-" + std::to_string(runs_++));
    std::filesystem::create_directory(reportDir);
    std::vector<std::string> arguments = {std::string(TINTWISE_BIN_DIR) + "/tintwise-cli", "--dir", program_.Path()};
    arguments.insert(arguments.end(), operands.begin(), operands.end());
    std::vector<std::string> environment = {"LD_DEBUG=libs", "LD_DEBUG_OUTPUT=" + reportDir + "/ld"};
    for (char** variable = environ; *variable; ++variable) environment.emplace_back(*variable);

    std::vector<char*> argv, envp;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    for (std::string& variable : environment) envp.push_back(variable.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    waitpid(pid, &status, 0);
    ReportedRun run;
    if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
    // One file per process: LD_DEBUG_OUTPUT.<pid>.
    for (const auto& entry : std::filesystem::directory_iterator(reportDir)) run.report += ReadWholeFile(entry.path());
    return run;
  }

  TempDirectory program_;
  TempDirectory work_;
  int runs_ = 0;
};

TEST_F(CliLibrariesTest, OnlyCommandsThatFetchLoadTheHttpLibrary) {
  const std::string picture = work_.File("query.png");
  WriteUniformPicture(picture, 100);
  {
    CacheFileWriter cache(program_.File("cache.db"));
    cache.Add(Uniform(100));
  }
  // Port 1 on the loopback refuses at once: the fetch fails, after loading.
  const std::vector<Case> cases = {
      {{"--version"}, false, 0},
      {{"--help"}, false, 0},
      {{"--print-dir"}, false, 0},
      {{"signature", picture}, false, 0},
      {{"search", picture}, false, 0},
      {{"check", picture}, false, 0},
      {{"--cache-host", "127.0.0.1:1", "update"}, true, 1},
      {{"search", "http://127.0.0.1:1/query.png"}, true, 1},
  };
  for (const Case& c : cases) {
    const ReportedRun run = RunReported(c.arguments);
    const std::string command = testing::PrintToString(c.arguments);
    EXPECT_EQ(run.status, c.status) << command;
    // The report names every library, so an empty one means the loader was not asked.
    ASSERT_NE(run.report.find("libc.so.6"), std::string::npos) << command;
    EXPECT_EQ(run.report.find("libcurl.so") != std::string::npos, c.fetches) << command;
  }
}
