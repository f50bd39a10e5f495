#include "infra/PrivateTempDirectory.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempDirectory.h"

namespace fs = std::filesystem;

// What only Linux has: a live process of another program (init, id 1), an id
// reused after a reboot, another user's directory in a shared /tmp, links.
TEST(PrivateTempDirectoryPosixTest, LiveOtherUsersAndLinkedLeftoversStay) {
  TempDirectory base;
  const std::string dead = std::to_string(EndedProcessId());
  const std::string prefix = PrivateTempDirectory::kPrefix;
  enum class Make { kDirectory, kOldDirectory, kOtherUsersDirectory, kLink };
  struct Case {
    std::string name;
    Make make;
    bool removed;
  };
  const std::vector<Case> cases = {
      {prefix + "1-aB3xYz", Make::kOldDirectory, true},  // a reused id
      {prefix + "1-cD4xYz", Make::kDirectory, false},    // a live process
      {prefix + dead + "-cD4xYz", Make::kOtherUsersDirectory, false},
      {prefix + dead + "-eF5xYz", Make::kLink, false},
  };
  fs::create_directory(base.File("target"));
  WriteWholeFile(base.File("target/keep"), "k");
  int expected = 0;
  for (const Case& c : cases) {
    const std::string path = base.File(c.name);
    expected += c.removed;
    if (c.make == Make::kLink) {
      fs::create_directory_symlink(base.File("target"), path);
      continue;
    }
    fs::create_directory(path);
    WriteWholeFile(path + "/picture.png", "x");
    if (c.make == Make::kOtherUsersDirectory) {
      ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    }
    if (c.make == Make::kOldDirectory) {
      fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(2));
    }
  }
  EXPECT_EQ(PrivateTempDirectory::RemoveLeftovers(base.Path()), expected);
  for (const Case& c : cases) EXPECT_EQ(fs::exists(fs::symlink_status(base.File(c.name))), !c.removed) << c.name;
  EXPECT_TRUE(fs::exists(base.File("target/keep")));
}
