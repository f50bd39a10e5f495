// The Windows counterparts of CliPosixTest: the installed copy's files in
// %LOCALAPPDATA%\Tintwise, names Windows holds that still need escaping, a
// folder and a picture denied by their ACLs.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliFixture.h"
#include "infra/Platform.h"
#include "support/DeniedAccess.h"
#include "support/VariableSetting.h"

// Beside a portable copy it may write; in %LOCALAPPDATA%\Tintwise for a copy
// the installer marked (installed.txt), made on first start; --dir over both.
TEST_F(CliTest, DataDirectoryFollowsTheInstallRuleOnWindows) {
  const std::string folder = work_.Path() + "Programs\\Tintwise\\";
  std::filesystem::create_directories(Utf8Path(folder));
  std::filesystem::copy_file(Utf8Path(Cli()), Utf8Path(folder + "tintwise-cli.exe"));
  const std::string program = folder + "tintwise-cli.exe", local = work_.Path() + "Local";
  const VariableOverride localAppData("LOCALAPPDATA", local);
  const std::string data = local + "\\Tintwise";
  struct Case {
    const char* name;
    bool installed;
    std::vector<std::string> arguments;
    std::string printed;
  };
  const Case cases[] = {
      {"portable copy", false, {"--print-dir"}, folder.substr(0, folder.size() - 1)},
      {"installed copy", true, {"--print-dir"}, data},
      {"installed, --dir after", true, {"--print-dir", "--dir", program_.Path()},
       program_.Path().substr(0, program_.Path().size() - 1)},
  };
  for (const Case& c : cases) {
    if (c.installed) WriteWholeFile(folder + "installed.txt", "installed\r\n");
    std::vector<std::string> arguments = c.arguments;
    arguments.insert(arguments.begin(), program);
    const Outcome outcome = RunProgram(arguments);
    EXPECT_EQ(outcome.status, 0) << c.name << outcome.err;
    EXPECT_EQ(outcome.out, c.printed + "\n") << c.name;
    EXPECT_TRUE(std::filesystem::is_directory(Utf8Path(c.printed))) << c.name;
  }
  EXPECT_FALSE(FileExists(folder + "log.txt"));  // an installed copy writes nothing beside itself
  const Outcome version = RunProgram({program, "--version"});
  EXPECT_NE(version.out.find("files: " + data + " (the user's data directory)"), std::string::npos) << version.out;
  // A data directory that cannot be made: the installed copy says so and fails.
  WriteWholeFile(work_.File("plain-file"), "");
  const VariableOverride blockedBase("LOCALAPPDATA", work_.File("plain-file"));
  const Outcome blocked = RunProgram({program, "--print-dir"});
  EXPECT_EQ(blocked.status, 1);
  EXPECT_EQ(blocked.out, "");
  EXPECT_NE(blocked.err.find("cannot make the data directory"), std::string::npos) << blocked.err;
}

// Windows names cannot hold C0 controls, but C1 controls (U+009B is a
// terminal's CSI) and the line and paragraph separators they can: every
// picture is still one line, its path escaped, in both formats.
TEST_F(CliTest, NamesWindowsHoldsAreEscapedInEveryFormat) {
  WriteWholeFile(CacheFile(), CacheBytes(work_.Path(), {{"11", "t", "p", 100}}));
  const std::string pics = work_.File("pics");
  std::filesystem::create_directory(Utf8Path(pics));
  const struct {
    std::string name;
    std::string shown;
  } names[] = {{"a\xC2\x9B" "2J.bmp", "a\\xc2\\x9b2J.bmp"}, {"b\xC2\x85x.bmp", "b\\xc2\\x85x.bmp"}};
  std::string tsv, json;
  for (const auto& n : names) {
    WriteWholeFile(platform::JoinPath(pics, n.name), GreyBmp(100));
    const std::string path = Shown(pics + "\\") + n.shown;
    tsv += "posted\t0\t11\tsame\tt\tp\t" + path + "\n";
    json += "{\"verdict\":\"posted\",\"difference\":0,\"id\":\"11\",\"match\":\"same\",\"title\":\"t\",\"poster\":\"p\","
            "\"path\":\"" + JsonInside(path) + "\"}\n";
  }
  const Outcome check = RunIn("check", {pics});
  EXPECT_EQ(check.status, 0) << check.err;
  EXPECT_EQ(check.out, tsv);
  EXPECT_EQ(RunIn("check", {"--json", pics}).out, json);
  const Outcome sign = RunIn("signature", {platform::JoinPath(pics, names[0].name)});
  EXPECT_EQ(sign.status, 0) << sign.err;
  EXPECT_EQ(sign.out.substr(sign.out.find('\t')), "\t" + Shown(pics + "\\") + names[0].shown + "\n");
}

// What check may not read because of an ACL is an error line with its
// reason and exit status 1, never a clean run over fewer pictures: a folder
// given, a folder found inside, a picture. Wine does not apply ACLs to
// files, so there the test only runs where the denial takes effect.
TEST_F(CliTest, CheckReportsWhatAnAclDenies) {
  WriteWholeFile(CacheFile(), CacheBytes(work_.Path(), {{"11", "t", "p", 100}}));
  const std::string locked = work_.File("locked"), pics = work_.File("pics");
  const std::string sub = platform::JoinPath(pics, "sub"), secret = platform::JoinPath(pics, "secret.bmp");
  for (const std::string& folder : {locked, pics, sub}) std::filesystem::create_directories(Utf8Path(folder));
  for (const std::string& picture : {platform::JoinPath(locked, "in.bmp"), platform::JoinPath(pics, "a.bmp"), secret,
                                     platform::JoinPath(sub, "c.bmp"), platform::JoinPath(pics, "z.bmp")}) {
    WriteWholeFile(picture, GreyBmp(100));
  }
  std::optional<DeniedAccess> denials[3];
  denials[0].emplace(locked);
  denials[1].emplace(sub);
  denials[2].emplace(secret);
  for (const auto& denial : denials) {
    if (!denial->Effective()) GTEST_SKIP() << "this system does not apply a file's ACL (Wine)";
  }
  const Outcome outcome = RunIn("check", {locked, pics});
  EXPECT_EQ(outcome.status, 1);
  const std::string posted = "posted\t0\t11\tsame\tt\tp\t", error = "error\t\t\t\t\t\t";
  EXPECT_EQ(outcome.out, error + Shown(locked) + "\n" + posted + Shown(platform::JoinPath(pics, "a.bmp")) + "\n" +
                             error + Shown(secret) + "\n" + error + Shown(sub) + "\n" + posted +
                             Shown(platform::JoinPath(pics, "z.bmp")) + "\n");
  for (const std::string& reason : {Shown(locked) + ": cannot read the folder: ", Shown(secret) + ": cannot open the file",
                                    Shown(sub) + ": cannot read the folder: ", std::string("checked 5 pictures in ")}) {
    EXPECT_NE(outcome.err.find(reason), std::string::npos) << reason << "\n" << outcome.err;
  }
}
