#include "infra/PrivateTempDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include "infra/Platform.h"
#include "support/ChildProcess.h"
#include "support/FileModes.h"
#include "support/TempDirectory.h"
#include "support/VariableSetting.h"

// What a killed run left is removed by the next one; this process's
// directories, files and other names stay; a new directory lies in the
// temporary folder the system names and names this process. (Live
// processes, other users' directories and links: PrivateTempDirectoryPosixTest.)
TEST(PrivateTempDirectoryTest, LeftoversOfEndedRunsAreRemovedOnlyThose) {
  TempDirectory base;
  const std::string dead = std::to_string(EndedProcessId());
  const std::string self = std::to_string(platform::ProcessId());
  const std::string prefix = PrivateTempDirectory::kPrefix;
  enum class Make { kDirectory, kOldDirectory, kFile };
  struct Case {
    std::string name;
    Make make;
    bool removed;
  };
  const std::vector<Case> cases = {
      {prefix + dead + "-aB3xYz", Make::kDirectory, true},
      {prefix + self + "-cD4xYz", Make::kDirectory, false},
      {prefix + self + "-aB3xYz", Make::kOldDirectory, false},
      {prefix + dead + "-gH6xYz", Make::kFile, false},
      {prefix + dead + "-toolong", Make::kDirectory, false},
      {"tintwise-" + dead + "-aB3xYz", Make::kDirectory, false},
  };
  for (const Case& c : cases) {
    const std::string path = base.File(c.name);
    if (c.make == Make::kFile) {
      WriteWholeFile(path, "x");
      continue;
    }
    ASSERT_TRUE(platform::MakeDirectory(path)) << c.name;
    WriteWholeFile(platform::JoinPath(path, "picture.png"), "x");
    if (c.make == Make::kOldDirectory) {
      ASSERT_TRUE(SetModificationTime(path, std::time(nullptr) - 7200));
    }
  }
  const int expected = static_cast<int>(std::count_if(cases.begin(), cases.end(), [](const Case& c) { return c.removed; }));
  EXPECT_EQ(PrivateTempDirectory::RemoveLeftovers(base.Path()), expected);
  for (const Case& c : cases) EXPECT_EQ(FileExists(base.File(c.name)), !c.removed) << c.name;

  const std::string leftover = base.File(prefix + dead + "-zZ9xYz");
  ASSERT_TRUE(platform::MakeDirectory(leftover));
  std::string made;
  {
    // Linux's variable; Windows reads TMP, then TEMP.
    const VariableOverride tmpdir("TMPDIR", base.Path()), tmp("TMP", base.Path()), temp("TEMP", base.Path());
    PrivateTempDirectory directory;
    made = directory.Path();
    EXPECT_EQ(made.rfind(base.Path() + prefix + self + "-", 0), 0u) << made;
    EXPECT_FALSE(FileExists(leftover));
  }
  EXPECT_FALSE(made.empty());
  EXPECT_FALSE(FileExists(made));
}
