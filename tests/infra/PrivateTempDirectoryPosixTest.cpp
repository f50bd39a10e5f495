#include "infra/PrivateTempDirectory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TempDirectory.h"

namespace fs = std::filesystem;

namespace {

// A process id that no process has now (a child that has ended).
pid_t EndedProcess() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

}  // namespace

// What a killed run left is removed by the next one; what a live process
// still uses, another user's directory, links and other names stay.
TEST(PrivateTempDirectoryTest, LeftoversOfEndedOrOldRunsAreRemovedOnlyThose) {
  TempDirectory base;
  const std::string dead = std::to_string(EndedProcess());
  const std::string self = std::to_string(::getpid());
  const std::string prefix = PrivateTempDirectory::kPrefix;
  enum class Make { kDirectory, kOldDirectory, kOtherUsersDirectory, kLink, kFile };
  struct Case {
    std::string name;
    Make make;
    bool removed;
  };
  const std::vector<Case> cases = {
      {prefix + dead + "-aB3xYz", Make::kDirectory, true},
      {prefix + "1-aB3xYz", Make::kOldDirectory, true},  // a reused id
      {prefix + "1-cD4xYz", Make::kDirectory, false},    // a live process
      {prefix + self + "-aB3xYz", Make::kOldDirectory, false},
      {prefix + dead + "-cD4xYz", Make::kOtherUsersDirectory, false},
      {prefix + dead + "-eF5xYz", Make::kLink, false},
      {prefix + dead + "-gH6xYz", Make::kFile, false},
      {prefix + dead + "-toolong", Make::kDirectory, false},
      {"tintwise-" + dead + "-aB3xYz", Make::kDirectory, false},
  };
  fs::create_directory(base.File("target"));
  WriteWholeFile(base.File("target/keep"), "k");
  for (const Case& c : cases) {
    const std::string path = base.File(c.name);
    if (c.make == Make::kLink) {
      fs::create_directory_symlink(base.File("target"), path);
    } else if (c.make == Make::kFile) {
      WriteWholeFile(path, "x");
    } else {
      fs::create_directory(path);
      WriteWholeFile(path + "/picture.png", "x");
      if (c.make == Make::kOtherUsersDirectory) {
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
      }
      if (c.make == Make::kOldDirectory) {
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(2));
      }
    }
  }
  const int expected = static_cast<int>(std::count_if(cases.begin(), cases.end(), [](const Case& c) { return c.removed; }));
  EXPECT_EQ(PrivateTempDirectory::RemoveLeftovers(base.Path()), expected);
  for (const Case& c : cases) EXPECT_EQ(fs::exists(fs::symlink_status(base.File(c.name))), !c.removed) << c.name;
  EXPECT_TRUE(fs::exists(base.File("target/keep")));

  // A new directory cleans up the same way and names its own process.
  const std::string leftover = base.File(prefix + dead + "-zZ9xYz");
  fs::create_directory(leftover);
  setenv("TMPDIR", base.Path().c_str(), 1);
  std::string made;
  {
    PrivateTempDirectory directory;
    made = directory.Path();
    EXPECT_EQ(made.rfind(base.Path() + prefix + self + "-", 0), 0u) << made;
    EXPECT_FALSE(fs::exists(leftover));
  }
  unsetenv("TMPDIR");
  EXPECT_FALSE(fs::exists(made));
}
