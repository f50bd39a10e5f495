#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/SitePages.h"
#include "control/CacheGeneration.h"
#include "imaging/D3DDevice.h"
#include "infra/ServerAddress.h"
#include "infra/SettingFile.h"
#include "infra/TextEncoding.h"
#include "control/Control.h"
#include "search/SQLite.h"
#include "support/LoopbackHttpServer.h"
#include "support/LoopbackSiteTest.h"
#include "support/RecordingView.h"

namespace {

const std::string kFirst = "/mofuimg/pimg.php?imgid=";

std::string Signature(int first) {
  std::string text;
  for (int i = 0; i < 27; ++i) text += std::to_string(first + i) + ",";
  return text;
}

// Records what the window would show and presses Abort once `abortAfter`
// progress texts have been shown.
class AbortingView : public RecordingView {
 public:
  void SetStatusText(const std::string& text) override {
    RecordingView::SetStatusText(text);
    static const SjisText kGenerating{u8"キャッシュ生成中"};
    if (control && text.starts_with(kGenerating.str()) && --abortAfter == 0) control->Abort();
  }
  Control* control = nullptr;
  int abortAfter = -1;
};

class CacheGenerationTest : public LoopbackSiteTest {
 protected:
  void SetUp() override {
    LoopbackSiteTest::SetUp();
    view_.control = &control_;
  }

  void SetRange(int start, int end) {
    WriteWholeFile(PathOf("cache_setting.ini"), "START=" + std::to_string(start) + "\nEND=" + std::to_string(end) + "\n");
  }
  // Serves the page of `id` and its one-colour image.
  void ServeEntry(int id, PageFields fields = {}) {
    const std::string image = "/img/" + std::to_string(id) + ".png";
    fields.imageUrl = server_.Url(image);
    server_.Serve(kFirst + std::to_string(id), MakePage(fields), "text/html");
    server_.Serve(image, SolidPng(static_cast<std::uint8_t>(id * 40), 100, 200), "image/png");
  }
  void Run() { CacheGeneration(control_.Context()).Run(); }

  SettingFile Saved() {
    SettingFile saved;
    saved.Load("cache.ini");
    return saved;
  }
  std::vector<std::string> DatabaseColumn(const std::string& column) {
    SQLite db;
    EXPECT_EQ(db.Open("cache.db"), 0);
    std::vector<std::string> values;
    db.Query("select " + column + " from TintwiseCache order by rowid;",
             [&](int, const char* const* row, const int*) {
               values.push_back(row[0] ? row[0] : "NULL");
               return true;
             });
    return values;
  }
  static std::string Sjis(const char8_t* text) { return SjisText(text).str(); }

  AbortingView view_;
  Control control_{view_};
};

TEST_F(CacheGenerationTest, RecordsWithASignatureAreSavedExportedAndLoaded) {
  SetRange(1, 3);
  ServeEntry(1);
  ServeEntry(2);
  server_.ServeStatus(kFirst + "3", 404);
  Run();
  const SettingFile saved = Saved();
  EXPECT_EQ(saved.Sections(), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(saved.Get("1", "TITLE"), Sjis(u8"テスト画像"));
  EXPECT_EQ(saved.Get("1", "IMAGE_URL"), "");
  EXPECT_EQ(std::count(saved.Get("2", "CACHE").begin(), saved.Get("2", "CACHE").end(), ','), 27);
  EXPECT_EQ(DatabaseColumn("id"), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(control_.RowCount(), 2);
}

TEST_F(CacheGenerationTest, StatusTextsShowTheProgressOneAheadOfTheId) {
  SetRange(5, 5);
  ServeEntry(5);
  Run();
  EXPECT_EQ(view_.StatusTexts(),
            (std::vector<std::string>{Sjis(u8"キャッシュ生成中\n6/5"), Sjis(u8"キャッシュ保存中"),
                                      Sjis(u8"データベース生成中"), Sjis(u8"キャッシュ生成終了")}));
  EXPECT_EQ(view_.EnableCalls(), (std::vector<bool>{false, true}));
  EXPECT_EQ(server_.RequestCount(kFirst + "5"), 1);
}

TEST_F(CacheGenerationTest, StartAfterEndOnlyRewritesTheKeptRecords) {
  SetRange(5, 4);
  WriteWholeFile(PathOf("cache.ini"), "[7]\nTITLE=kept\nIMAGE_URL=http://x/a.png\nCACHE=" + Signature(7) +
                                          "\n[8]\nTITLE=no signature\n");
  Run();
  EXPECT_TRUE(server_.Requests().empty());
  const SettingFile saved = Saved();
  EXPECT_EQ(saved.Sections(), std::vector<std::string>{"7"});
  EXPECT_EQ(saved.Get("7", "IMAGE_URL"), "");
  EXPECT_EQ(saved.Get("7", "GOOD"), "0");
  EXPECT_EQ(DatabaseColumn("title"), std::vector<std::string>{"kept"});
}

TEST_F(CacheGenerationTest, EarlierSignatureIsKeptWhileTheRestIsRefreshed) {
  SetRange(1, 1);
  WriteWholeFile(PathOf("cache.ini"), "[1]\nTITLE=old\nGOOD=1\nCACHE=" + Signature(50) + "\n");
  PageFields fields;
  fields.title = "new";
  fields.good = 9;
  ServeEntry(1, fields);
  Run();
  const SettingFile saved = Saved();
  EXPECT_EQ(saved.Get("1", "TITLE"), "new");
  EXPECT_EQ(saved.Get("1", "GOOD"), "9");
  EXPECT_EQ(saved.Get("1", "CACHE"), Signature(50));
}

TEST_F(CacheGenerationTest, PageWithoutTitleLeavesTheRecordAsItWas) {
  SetRange(1, 1);
  WriteWholeFile(PathOf("cache.ini"), "[1]\nTITLE=old\nGOOD=1\nCACHE=" + Signature(50) + "\n");
  server_.Serve(kFirst + "1", std::string(5000, ' ') + "../ii:>5 ../ii:>6", "text/html");
  Run();
  EXPECT_EQ(Saved().Get("1", "TITLE"), "old");
  EXPECT_EQ(Saved().Get("1", "GOOD"), "1");
}

TEST_F(CacheGenerationTest, PageFailingAfterItsTitleLeavesNoRecordWithoutSignature) {
  SetRange(1, 1);
  server_.Serve(kFirst + "1", "<title>mofu!only a title</title>" + std::string(5000, ' '), "text/html");
  Run();
  EXPECT_TRUE(Saved().Sections().empty());
  EXPECT_TRUE(DatabaseColumn("id").empty());
}

TEST_F(CacheGenerationTest, NegativeVoteCountIsSavedAsMinusOne) {
  SetRange(1, 1);
  PageFields fields;
  fields.good = -4;
  ServeEntry(1, fields);
  Run();
  EXPECT_EQ(Saved().Get("1", "GOOD"), "-1");
  EXPECT_EQ(DatabaseColumn("good"), std::vector<std::string>{"-1"});
}

TEST_F(CacheGenerationTest, AbortStopsBeforeTheNextIdAndKeepsWhatWasGathered) {
  SetRange(1, 3);
  for (int id = 1; id <= 3; ++id) ServeEntry(id);
  view_.abortAfter = 1;
  Run();
  EXPECT_EQ(server_.RequestCount(kFirst + "2"), 0);
  EXPECT_EQ(Saved().Sections(), std::vector<std::string>{"1"});
  EXPECT_EQ(DatabaseColumn("id"), std::vector<std::string>{"1"});
  EXPECT_EQ(view_.LastStatus(), Sjis(u8"キャッシュ生成終了"));
}

TEST_F(CacheGenerationTest, FailedSaveAndExportKeepThePreviousFiles) {
  SetRange(1, 1);
  ServeEntry(1);
  Run();
  const std::string records = ReadWholeFile(PathOf("cache.ini"));
  const std::string database = ReadWholeFile(PathOf("cache.db"));

  // Many records with long titles: the new files outgrow the limit, the
  // pages and images of the run stay below it.
  SetRange(2, 60);
  PageFields fields;
  fields.title = std::string(200, 'x');
  for (int id = 2; id <= 60; ++id) ServeEntry(id, fields);
  {
    FileSizeLimit full(10000);
    Run();
  }
  EXPECT_EQ(server_.RequestCount("/img/60.png"), 1);
  EXPECT_TRUE(LogText().find(Sjis(u8"ToSqlite::Export()")) != std::string::npos);
  EXPECT_EQ(ReadWholeFile(PathOf("cache.ini")), records);
  EXPECT_EQ(ReadWholeFile(PathOf("cache.db")), database);
  EXPECT_EQ(view_.LastStatus(), Sjis(u8"キャッシュ生成終了"));
  EXPECT_EQ(control_.RowCount(), 1);
}

}  // namespace
