// Where the files go on Windows: beside a portable copy it may write, else
// in %LOCALAPPDATA%\Tintwise; an installed copy (the installer's
// installed.txt beside it) always uses the latter.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "infra/DataDirectoryCases.h"
#include "infra/Environment.h"
#include "infra/Platform.h"
#include "support/TempDirectory.h"
#include "support/VariableSetting.h"

namespace {

// One case per rule and each side of its boundaries. Windows has no home
// fallback: without a usable %LOCALAPPDATA% no directory can be named.
TEST(EnvironmentWindowsTest, DataDirectoryRule) {
  const std::optional<std::string> unset;
  const std::string local = "C:\\Users\\u\\AppData\\Local", beside = "D:\\Tools\\Tintwise\\";
  const auto user = DataDirectoryRule::kUserData;
  ExpectDataDirectoryChoices("D:\\Tools\\Tintwise", {
      {"portable copy in a writable folder", true, false, local, unset, beside, DataDirectoryRule::kBesideProgram},
      {"portable copy in a read-only folder", false, false, local, unset, local + "\\Tintwise\\", user},
      {"LOCALAPPDATA with a trailing separator", false, false, local + "\\", unset, local + "\\Tintwise\\", user},
      {"LOCALAPPDATA with '/'", false, false, "C:/L", unset, "C:/L\\Tintwise\\", user},
      {"installed per user (its folder writable)", true, true, local, unset, local + "\\Tintwise\\", user},
      {"installed, LOCALAPPDATA unset", true, true, unset, unset, "", user},
      {"installed, LOCALAPPDATA relative", true, true, "AppData\\Local", unset, "", user},
      {"installed, LOCALAPPDATA only a drive", true, true, "C:", unset, "", user},
  });
}

// The facts come from the folder and the environment: the installer's
// marker makes an installed copy, %LOCALAPPDATA% the base.
TEST(EnvironmentWindowsTest, ProbeRecognisesAnInstalledCopyByItsMarker) {
  TempDirectory root;
  const std::string folder = root.Path() + "Programs\\Tintwise\\";
  ASSERT_TRUE(MakeDirectories(folder));
  DataDirectoryFacts facts;
  {
    const VariableOverride local("LOCALAPPDATA", root.Path() + "Local");
    facts = ProbeDataDirectoryFacts(folder);
    EXPECT_FALSE(facts.installedCopy);
    EXPECT_TRUE(facts.executableDirectoryWritable);
    EXPECT_EQ(facts.xdgDataHome, root.Path() + "Local");
    EXPECT_FALSE(facts.home.has_value());
    WriteWholeFile(folder + "installed.txt", "installed\r\n");
    facts = ProbeDataDirectoryFacts(folder.substr(0, folder.size() - 1));
    EXPECT_TRUE(facts.installedCopy);
    EXPECT_EQ(ChooseDataDirectory(facts).directory, root.Path() + "Local\\Tintwise\\");
  }
  {
    const VariableOverride local("LOCALAPPDATA", std::nullopt);
    EXPECT_FALSE(ProbeDataDirectoryFacts(folder).xdgDataHome.has_value());
  }
}

// Either separator, a drive's root and Japanese names; not below a file.
TEST(EnvironmentWindowsTest, MakeDirectoriesTakesEitherSeparatorAndFailsUnderAFile) {
  TempDirectory root;
  for (const std::string& deep : {root.Path() + "a\\b\\Tintwise\\", root.Path() + "c/d\\写真/Tintwise"}) {
    EXPECT_TRUE(MakeDirectories(deep)) << deep;
    EXPECT_TRUE(MakeDirectories(deep)) << deep;  // already there
    const std::optional<platform::FileFacts> facts = platform::LookAt(deep, true);
    ASSERT_TRUE(facts) << deep;
    EXPECT_EQ(facts->kind, platform::FileKind::kDirectory) << deep;
  }
  WriteWholeFile(root.Path() + "file", "x");
  EXPECT_FALSE(MakeDirectories(root.Path() + "file\\Tintwise"));
  EXPECT_FALSE(MakeDirectories(""));
}

}  // namespace
