#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <optional>

#include "infra/DataDirectoryCases.h"
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

// One case per rule and each side of its boundaries: writable or not,
// installed or not, and which of XDG_DATA_HOME and HOME counts.
TEST(EnvironmentTest, DataDirectoryRule) {
  const std::optional<std::string> unset;
  ExpectDataDirectoryChoices("/opt/tw/bin", {
      {"writable build tree", true, false, "/x", "/h", "/opt/tw/bin/", DataDirectoryRule::kBesideProgram},
      {"read-only copy, XDG set", false, false, "/x/data", "/h", "/x/data/tintwise/", DataDirectoryRule::kUserData},
      {"XDG with trailing slash", false, false, "/x/data/", "/h", "/x/data/tintwise/", DataDirectoryRule::kUserData},
      {"XDG unset", false, false, unset, "/home/u", "/home/u/.local/share/tintwise/", DataDirectoryRule::kUserData},
      {"XDG empty", false, false, "", "/home/u", "/home/u/.local/share/tintwise/", DataDirectoryRule::kUserData},
      {"XDG relative", false, false, "data", "/home/u/", "/home/u/.local/share/tintwise/", DataDirectoryRule::kUserData},
      {"installed, writable (root)", true, true, unset, "/root", "/root/.local/share/tintwise/",
       DataDirectoryRule::kUserData},
      {"installed, read-only", false, true, "/x", "/h", "/x/tintwise/", DataDirectoryRule::kUserData},
      {"no usable home", false, false, "rel", "also-rel", "", DataDirectoryRule::kUserData},
      {"no home at all", false, true, unset, unset, "", DataDirectoryRule::kUserData},
  });
}

// The facts come from the file system and the environment: an installed copy
// is recognised by its desktop entry beside the bin directory.
TEST(EnvironmentTest, ProbeRecognisesAnInstalledLayout) {
  TempDirectory root;
  const std::string bin = root.Path() + "usr/bin/";
  ASSERT_TRUE(MakeDirectories(bin));
  ASSERT_TRUE(MakeDirectories(root.Path() + "usr/share/applications"));
  setenv("XDG_DATA_HOME", (root.Path() + "xdg").c_str(), 1);
  DataDirectoryFacts facts = ProbeDataDirectoryFacts(bin);
  EXPECT_FALSE(facts.installedCopy);
  EXPECT_TRUE(facts.executableDirectoryWritable);  // root or not: the test made it
  EXPECT_EQ(facts.xdgDataHome, root.Path() + "xdg");
  WriteWholeFile(root.Path() + "usr/share/applications/tintwise.desktop", "[Desktop Entry]\n");
  facts = ProbeDataDirectoryFacts(bin.substr(0, bin.size() - 1));
  EXPECT_TRUE(facts.installedCopy);
  EXPECT_EQ(ChooseDataDirectory(facts).directory, root.Path() + "xdg/tintwise/");
  unsetenv("XDG_DATA_HOME");
  EXPECT_FALSE(ProbeDataDirectoryFacts(bin).xdgDataHome.has_value());
}

TEST(EnvironmentTest, MakeDirectoriesMakesParentsPrivatelyAndFailsUnderAFile) {
  TempDirectory root;
  const std::string deep = root.Path() + "a/b/tintwise/";
  EXPECT_TRUE(MakeDirectories(deep));
  EXPECT_TRUE(MakeDirectories(deep));  // already there
  struct stat status {};
  ASSERT_EQ(stat(deep.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0700u);
  WriteWholeFile(root.Path() + "file", "x");
  EXPECT_FALSE(MakeDirectories(root.Path() + "file/tintwise"));
  EXPECT_FALSE(MakeDirectories(""));
}

TEST(EnvironmentTest, GivenDirectoryReportsItsRule) {
  TempDirectory dir;
  InitializeEnvironmentAt(dir.Path());
  EXPECT_EQ(ProgramDirectoryRule(), DataDirectoryRule::kGiven);
  EXPECT_TRUE(InitializeEnvironment());  // the test's own directory is writable and not installed
  EXPECT_EQ(ProgramDirectoryRule(), DataDirectoryRule::kBesideProgram);
}

}  // namespace
