#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>

#include "infra/Environment.h"
#include "support/TempDirectory.h"

namespace {

std::string CurrentDirectory() {
  char buffer[PATH_MAX];
  return getcwd(buffer, sizeof buffer) ? std::string(buffer) + "/" : std::string();
}

TEST(EnvironmentTest, ProgramDirectoryIsTheExecutablesDirectory) {
  InitializeEnvironment();
  char exe[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(length, 0);
  std::string path(exe, static_cast<size_t>(length));
  EXPECT_EQ(ProgramDirectory(), path.substr(0, path.rfind('/') + 1));
  EXPECT_EQ(ProgramDirectory().back(), '/');
  EXPECT_EQ(CurrentDirectory(), ProgramDirectory());
}

TEST(EnvironmentTest, GivenDirectoryGetsTrailingSlashAndBecomesCurrent) {
  TempDirectory dir;
  const std::string withoutSlash = dir.Path().substr(0, dir.Path().size() - 1);
  InitializeEnvironmentAt(withoutSlash);
  EXPECT_EQ(ProgramDirectory(), dir.Path());
  ASSERT_EQ(chdir("/"), 0);
  EnterProgramDirectory();
  EXPECT_EQ(CurrentDirectory(), dir.Path());
}

TEST(EnvironmentTest, NonAsciiDirectoryBytesAreKept) {
  TempDirectory dir;
  // A Shift-JIS name whose second byte is 0x5C ("ソ" is 0x83 0x5C): a byte, not a separator.
  const std::string name = dir.Path() + "\x83\x5C\x95\x5C/";
  ASSERT_EQ(mkdir(name.c_str(), 0700), 0);
  InitializeEnvironmentAt(name);
  EXPECT_EQ(ProgramDirectory(), name);
  EXPECT_EQ(CurrentDirectory(), name);
}

}  // namespace
