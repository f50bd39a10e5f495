#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

#include "infra/Environment.h"
#include "infra/Log.h"
#include "infra/Platform.h"
#include "infra/TextEncoding.h"
#include "support/ProgramDirectoryTest.h"
#include "support/VariableSetting.h"

namespace {

class LogTest : public ProgramDirectoryTest {};

// True when `text` is "YYYY/MM/DD HH:MM:SS - " followed by `message` and CR LF.
bool IsLogLine(const std::string& text, const std::string& message) {
  const std::string shape = "0000/00/00 00:00:00 - ";
  if (text.size() != shape.size() + message.size() + 2) return false;
  for (size_t i = 0; i < shape.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (shape[i] == '0' ? !digit : text[i] != shape[i]) return false;
  }
  return text.compare(shape.size(), std::string::npos, message + "\r\n") == 0;
}

TEST_F(LogTest, EachMessageIsOneTimeStampedCrLfLine) {
  WriteLog("first");
  WriteLog("second");
  const std::string text = LogText();
  const size_t split = text.find('\n') + 1;
  EXPECT_TRUE(IsLogLine(text.substr(0, split), "first")) << text;
  EXPECT_TRUE(IsLogLine(text.substr(split), "second")) << text;
}

TEST_F(LogTest, LineBreaksInAMessageBecomeSingleSpaces) {
  WriteLog("one\r\ntwo\nthree");
  WriteLog("keep\rcarriage");
  WriteLog("\r\r\n\n");
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{"one two three", "keep\rcarriage", "\r  "}));
}

TEST_F(LogTest, EmptyMessageEndsInSeparator) {
  WriteLog("");
  const std::string text = LogText();
  ASSERT_GE(text.size(), 5u);
  EXPECT_EQ(text.substr(text.size() - 5), " - \r\n");
}

TEST_F(LogTest, ShiftJisBytesAreWrittenUnchanged) {
  const SjisText message{u8"CacheDownloader::Download() : ファイルを開けませんでした "};
  WriteLog(message.str() + "cache.db");
  EXPECT_EQ(LogMessages(), std::vector<std::string>{message.str() + "cache.db"});
}

TEST_F(LogTest, BytesThatAreNotShiftJisAreEscapedSoTheFileDecodes) {
  const SjisText message{u8"ToSqlite::Export() : "};
  WriteLog(message + "caf\xC3\xA9 \x80\xFF end\x82");  // a library's UTF-8 text, stray bytes, a cut-off lead byte
  EXPECT_EQ(LogMessages(), std::vector<std::string>{message + "caf\xC3\xA9 \\x{80}\\x{FF} end\\x{82}"});
}

TEST_F(LogTest, ReopeningAppendsAfterEarlierLines) {
  WriteLog("first run");
  OpenLog("log.txt");
  WriteLog("second run");
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{"first run", "second run"}));
}

TEST_F(LogTest, OpensInTheProgramDirectoryWhateverTheCurrentDirectory) {
  ASSERT_TRUE(platform::MakeDirectory(PathOf("elsewhere")));
  ASSERT_TRUE(platform::ChangeDirectory(PathOf("elsewhere")));
  OpenLog("log.txt");
  WriteLog("here");
  EXPECT_FALSE(FileExists(PathOf("elsewhere/log.txt")));
  EXPECT_EQ(LogMessages().back(), "here");
}

TEST_F(LogTest, UnopenableLogIsSilentlyDropped) {
  namespace fs = std::filesystem;
  // A directory in the file's place fails for everyone; a read-only
  // directory only where permissions bind (not for root, not on Windows,
  // where the bits are only a read-only attribute).
  ASSERT_TRUE(platform::MakeDirectory(PathOf("blocked.txt")));
  OpenLog("blocked.txt");
  WriteLog("nowhere");  // must neither crash nor report
  fs::permissions(Dir(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  if (!platform::MayWriteIn(Dir())) {
    OpenLog("other.txt");
    WriteLog("nowhere");
  }
  fs::permissions(Dir(), fs::perms::owner_write, fs::perm_options::add);
  OpenLog("log.txt");
  WriteLog("back");
  EXPECT_EQ(LogMessages().back(), "back");
}

TEST(LogTimeTest, RendersLocalTimeOrInvalid) {
  SetVariable("TZ", "UTC");
  tzset();
  EXPECT_EQ(FormatLogTime(0), "1970/01/01 00:00:00");
  EXPECT_EQ(FormatLogTime(1700000000), "2023/11/14 22:13:20");
  EXPECT_EQ(FormatLogTime(-62167219201LL), "Invalid DateTime");  // before year 1
  EXPECT_EQ(FormatLogTime(253402300800LL), "Invalid DateTime");  // year 10000
  // Local time, not UTC: the same instants in Japan and west of Greenwich.
  const struct {
    const char* zone;
    long long time;
    const char* shown;
  } cases[] = {{"JST-9", 0, "1970/01/01 09:00:00"},
               {"JST-9", 1700000000, "2023/11/15 07:13:20"},
               {"EST5", 1700000000, "2023/11/14 17:13:20"}};
  for (const auto& c : cases) {
    SetVariable("TZ", c.zone);
    tzset();
    EXPECT_EQ(FormatLogTime(c.time), c.shown) << c.zone;
  }
  SetVariable("TZ", "UTC");
  tzset();
}

}  // namespace
