// The record file of the generation run when it cannot be read, and the
// longest lines it may hold.
#include <gtest/gtest.h>

#include <string>

#include "hardening/CacheFiles.h"
#include "infra/ServerAddress.h"
#include "infra/SettingFile.h"
#include "infra/TextEncoding.h"
#include "control/Control.h"
#include "support/LoopbackHttpServer.h"
#include "support/ProgramDirectoryTest.h"
#include "support/RecordingView.h"

namespace {

const std::string kSignature = "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,";

class RecordFileTest : public ProgramDirectoryTest {
 protected:
  void SetUp() override {
    ProgramDirectoryTest::SetUp();
    OverrideServerHosts(server_.Host(), server_.Host());
    WriteWholeFile(PathOf("cache_setting.ini"), "START=1\r\nEND=3\r\n");
    WriteCacheDatabase(PathOf("cache.db"), 6);
  }

  static std::string Record(int id, const std::string& title) {
    return "[" + std::to_string(id) + "]\r\nTITLE=" + title + "\r\nNAME=n\r\nCACHE=" + kSignature +
           "\r\nADULT=0\r\nGOOD=1\r\nBAD=0\r\n";
  }

  void Generate() {
    Control control(view_);
    control.LoadCache();
    view_.Forget();
    result_ = control.GenerateCache();
    rowsAfter_ = control.RowCount();
  }

  LoopbackHttpServer server_;
  RecordingView view_;
  int rowsAfter_ = 0;
  OperationResult result_;
};

TEST_F(RecordFileTest, UnreadableRecordsStopTheRunAndKeepBothFiles) {
  const std::string records = Record(10, "kept") + "NOTE=" + std::string(70000, 'x') + "\r\n" + Record(11, "kept too");
  WriteWholeFile(PathOf("cache.ini"), records);
  const std::string database = ReadWholeFile(PathOf("cache.db"));

  Generate();
  EXPECT_EQ(records, ReadWholeFile(PathOf("cache.ini")));
  EXPECT_EQ(database, ReadWholeFile(PathOf("cache.db")));
  EXPECT_EQ(0u, server_.Requests().size());
  EXPECT_EQ(6, rowsAfter_);
  EXPECT_EQ(SjisText(u8"cache.iniの読み込みに失敗しました").str(), view_.LastStatus());
  EXPECT_EQ(view_.LastStatus(), result_.reason);
  EXPECT_EQ(std::vector<bool>({false, true}), view_.EnableCalls());
  ASSERT_FALSE(LogMessages().empty());
  EXPECT_EQ(SjisText(u8"CacheGeneration::Run() : cache.iniの読み込みに失敗しました").str(), LogMessages().back());
}

TEST_F(RecordFileTest, MissingRecordsStartAFreshRun) {
  server_.Serve("/mofuimg/pimg.php?imgid=2", std::string(5000, ' ') + "../ii:>5 ../ii:>6", "text/html");
  Generate();
  EXPECT_EQ(3, server_.RequestCount("/mofuimg/pimg.php?imgid=1") + server_.RequestCount("/mofuimg/pimg.php?imgid=2") +
                   server_.RequestCount("/mofuimg/pimg.php?imgid=3"));
  EXPECT_EQ(SjisText(u8"キャッシュ生成終了").str(), view_.LastStatus());
  EXPECT_TRUE(result_.ok);
}

TEST_F(RecordFileTest, LongestLineReadWithoutCarriageReturnSurvivesSaveAndLoad) {
  const std::string value(SettingFile::kMaxLineBytes - std::string("TITLE=\n").size(), 't');
  WriteWholeFile(PathOf("in.ini"), "[1]\nTITLE=" + value + "\n");
  SettingFile first;
  ASSERT_TRUE(first.Load(PathOf("in.ini")));
  ASSERT_TRUE(first.SaveAs(PathOf("out.ini")));
  SettingFile second;
  ASSERT_TRUE(second.Load(PathOf("out.ini")));
  EXPECT_EQ(value, second.Get("1", "TITLE"));
}

TEST_F(RecordFileTest, LineOneByteTooLongStillFails) {
  const std::string value(SettingFile::kMaxLineBytes - std::string("TITLE=\n").size() + 1, 't');
  WriteWholeFile(PathOf("plain.ini"), "[1]\nTITLE=" + value + "\n");
  WriteWholeFile(PathOf("crlf.ini"), "[1]\nTITLE=" + value + "\r\n");
  SettingFile settings;
  EXPECT_FALSE(settings.Load(PathOf("plain.ini")));
  EXPECT_FALSE(settings.Load(PathOf("crlf.ini")));
}

}  // namespace
