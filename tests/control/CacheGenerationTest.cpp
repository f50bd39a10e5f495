#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/SitePages.h"
#include "control/CacheGeneration.h"
#include "imaging/D3DDevice.h"
#include "infra/ServerAddress.h"
#include "infra/SettingFile.h"
#include "infra/TextEncoding.h"
#include "infra/WriterLock.h"
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
  OperationResult Run() {
    CacheGeneration run(control_.Context(),
                        [this](const GenerationTally& tally) { idsSeen_.push_back(tally.idsDone); });
    const OperationResult result = run.Run();
    tally_ = run.Tally();
    return result;
  }
  // A cache of one record, loaded, and the bytes of both files.
  void MakeLoadedCache() {
    SetRange(1, 1);
    ServeEntry(1);
    ASSERT_TRUE(Run());
    records_ = ReadWholeFile(PathOf("cache.ini"));
    database_ = ReadWholeFile(PathOf("cache.db"));
    ASSERT_EQ(control_.RowCount(), 1);
    view_.Forget();
  }
  // The ids of the pages asked for since the last call.
  std::vector<std::string> NewPageRequests() {
    const auto requests = server_.Requests();
    std::vector<std::string> ids;
    for (size_t i = requestsSeen_; i < requests.size(); ++i) {
      if (requests[i].target.starts_with(kFirst)) ids.push_back(requests[i].target.substr(kFirst.size()));
    }
    requestsSeen_ = requests.size();
    return ids;
  }

  // Every target asked for since the last call, in order.
  std::vector<std::string> NewTargets() {
    const auto requests = server_.Requests();
    std::vector<std::string> targets;
    for (size_t i = requestsSeen_; i < requests.size(); ++i) targets.push_back(requests[i].target);
    requestsSeen_ = requests.size();
    return targets;
  }

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
  GenerationTally tally_;
  std::vector<std::int64_t> idsSeen_;
  std::string records_;
  std::string database_;
  size_t requestsSeen_ = 0;
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

// Without a usable range the run would end by replacing "cache.db" with
// whatever "cache.ini" holds: it must not start at all.
TEST_F(CacheGenerationTest, RunWithoutAUsableRangeDoesNotStart) {
  MakeLoadedCache();
  NewPageRequests();
  const std::string missing = Sjis(u8"cache_setting.iniが見つかりません");
  const std::string unreadable = Sjis(u8"cache_setting.iniの読み込みに失敗しました");
  const std::string noRange = Sjis(u8"cache_setting.iniにSTARTかENDがありません");
  const std::string invalid = Sjis(u8"cache_setting.iniのSTARTかENDが正しい番号ではありません");
  const std::string reversed = Sjis(u8"cache_setting.iniのENDがSTARTより小さくなっています");
  const struct {
    const char* settings;  // nullptr: no file
    std::string status;
  } cases[] = {
      {nullptr, missing},
      {"", noRange},
      {"START=1\n", noRange},
      {"END=1\n", noRange},
      {"START=\nEND=3\n", noRange},
      {"[range]\nSTART=1\nEND=3\n", noRange},
      {"START=-1\nEND=3\n", invalid},
      {"START=1\nEND=3x\n", invalid},
      {"START= 1\nEND=3\n", invalid},
      {"START=1\nEND=2147483648\n", invalid},
      {"START=99999999999999999999\nEND=3\n", invalid},
      {"START=5\nEND=4\n", reversed},
      {"START=2147483647\nEND=0\n", reversed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.settings ? c.settings : "(no file)");
    std::filesystem::remove(PathOf("cache_setting.ini"));
    if (c.settings) WriteWholeFile(PathOf("cache_setting.ini"), c.settings);
    view_.Forget();
    const OperationResult result = Run();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.reason, c.status);
    EXPECT_EQ(view_.StatusTexts(), std::vector<std::string>{c.status});
    EXPECT_EQ(view_.EnableCalls(), (std::vector<bool>{false, true}));
    EXPECT_FALSE(tally_.started);
    EXPECT_TRUE(NewPageRequests().empty());
    EXPECT_EQ(ReadWholeFile(PathOf("cache.ini")), records_);
    EXPECT_EQ(ReadWholeFile(PathOf("cache.db")), database_);
    EXPECT_EQ(control_.RowCount(), 1);  // the loaded cache stays loaded
  }
  // A line past the setting file's limit makes the file unreadable.
  WriteWholeFile(PathOf("cache_setting.ini"), "START=1\nEND=1\nNOTE=" + std::string(70000, 'x') + "\n");
  EXPECT_EQ(Run().reason, unreadable);
  EXPECT_EQ(LogMessages().back(), Sjis(u8"CacheGeneration::Run() : ") + unreadable);
}

// The boundaries on the usable side: leading zeros, one id, the largest id.
TEST_F(CacheGenerationTest, UsableRangesRunEveryIdOnce) {
  const struct {
    const char* settings;
    std::vector<std::string> ids;
  } cases[] = {
      {"START=0007\nEND=8\n", {"7", "8"}},
      {"START=4\nEND=4\n", {"4"}},
      {"START=2147483646\nEND=2147483647\n", {"2147483646", "2147483647"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.settings);
    WriteWholeFile(PathOf("cache_setting.ini"), c.settings);
    // Pages of deleted ids: an answer, but no record.
    for (const std::string& id : c.ids) server_.Serve(kFirst + id, std::string(5000, ' ') + "../ii:>5 ../ii:>6");
    EXPECT_TRUE(Run());
    EXPECT_EQ(NewPageRequests(), c.ids);
  }
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

TEST_F(CacheGenerationTest, FailedSaveOrExportIsReportedAndKeepsThePreviousFiles) {
  if (!FileSizeLimit::Supported()) GTEST_SKIP() << "a full disk is simulated by a per-process file size limit";
  MakeLoadedCache();
  // Many records with long titles: the new files outgrow the limit, the
  // pages and images of the run stay below it.
  SetRange(2, 60);
  PageFields fields;
  fields.title = std::string(200, 'x');
  for (int id = 2; id <= 60; ++id) ServeEntry(id, fields);
  OperationResult result;
  {
    FileSizeLimit full(10000);
    result = Run();
  }
  EXPECT_EQ(server_.RequestCount("/img/60.png"), 1);
  EXPECT_TRUE(LogText().find(Sjis(u8"ToSqlite::Export()")) != std::string::npos);
  EXPECT_EQ(ReadWholeFile(PathOf("cache.ini")), records_);
  EXPECT_EQ(ReadWholeFile(PathOf("cache.db")), database_);
  const std::string both = Sjis(u8"cache.iniの保存とcache.dbの生成に失敗しました");
  EXPECT_EQ(view_.LastStatus(), both);
  EXPECT_EQ(result.reason, both);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(tally_.recordsSaved, -1);
  EXPECT_EQ(control_.RowCount(), 1);

  // A directory in the way of "cache.db": the records are saved, the export fails.
  SetRange(2, 2);
  std::filesystem::remove(PathOf("cache.db"));
  std::filesystem::create_directories(PathOf("cache.db/in the way"));
  result = Run();
  EXPECT_EQ(result.reason, Sjis(u8"cache.dbの生成に失敗しました"));
  EXPECT_EQ(view_.LastStatus(), result.reason);
  EXPECT_EQ(Saved().Sections(), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(tally_.recordsSaved, 2);
}

// Each id lands in exactly one count, told apart by where it failed.
TEST_F(CacheGenerationTest, TallyCountsWhatBecameOfEachId) {
  SetRange(1, 8);
  WriteWholeFile(PathOf("cache.ini"), "[7]\nTITLE=old\nCACHE=" + Signature(50) + "\n");
  ServeEntry(1);
  server_.ServeStatus(kFirst + "2", 404);
  server_.Serve(kFirst + "3", std::string(5000, ' ') + "../ii:>5 ../ii:>6", "text/html");
  server_.Serve(kFirst + "4", "<title>mofu!only a title</title>" + std::string(5000, ' '), "text/html");
  ServeEntry(5);
  server_.ServeStatus("/img/5.png", 404);
  ServeEntry(6);
  server_.Serve("/img/6.png", "not a picture at all", "image/png");
  ServeEntry(7);
  ServeEntry(8);
  ASSERT_TRUE(Run());
  EXPECT_EQ(idsSeen_, (std::vector<std::int64_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  const GenerationTally& t = tally_;
  EXPECT_TRUE(t.started);
  EXPECT_EQ((std::vector<std::int64_t>{t.start, t.end, t.idsDone, t.signaturesAdded, t.refreshed, t.pageFetchFailed,
                                       t.noTitle, t.pageIncomplete, t.imageFetchFailed, t.imageUnreadable,
                                       t.recordsSaved}),
            (std::vector<std::int64_t>{1, 8, 8, 2, 1, 1, 1, 1, 1, 1, 3}));
  EXPECT_EQ(t.Failures(), 5);
}

// Temporary files that killed runs left in "php" and "image" are removed:
// all of them when no other writer is at work, else only those old enough
// that no running download can own them. Real files stay.
TEST_F(CacheGenerationTest, StaleDownloadsOfKilledRunsAreRemoved) {
  std::filesystem::create_directories(PathOf("php"));
  std::filesystem::create_directories(PathOf("image"));
  const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(2);
  const struct {
    const char* name;
    bool old;
    bool keptAlone;
    bool keptBesideAnother;  // while another writer holds the directory
  } files[] = {
      {"php/12.tmp.AbC123", true, false, false},
      {"image/a_0123456789abcdef.png.tmp.Zz9999", true, false, false},
      {"php/13.tmp.fresh1", false, false, true},
      {"image/b.png.tmp.fresh2", false, false, true},
      {"cache.db.tmp.fresh3-journal", false, false, true},
      {"php/77", true, true, true},
      {"image/b_0123456789abcdef.png", true, true, true},
      {"image/c.tmp.toolong7", true, true, true},
  };
  SetRange(1, 1);
  ServeEntry(1);
  for (const bool another : {true, false}) {
    SCOPED_TRACE(another ? "beside another writer" : "alone");
    for (const auto& file : files) {
      WriteWholeFile(PathOf(file.name), "x");
      if (file.old) std::filesystem::last_write_time(PathOf(file.name), old);
    }
    {
      WriterLock other(Dir());
      if (another) other.Acquire();
      ASSERT_TRUE(Run());
    }
    for (const auto& file : files)
      EXPECT_EQ(FileExists(PathOf(file.name)), another ? file.keptBesideAnother : file.keptAlone) << file.name;
  }
}

// The stop reaches the transfer in progress: a server that holds back a
// page or a picture does not keep the run (nor Ctrl-C, nor the window's
// Abort) waiting. The id it belonged to is not done; the ids before it are
// saved as by any stopped run, and a run stopped inside its first id leaves
// both files as they were.
TEST_F(CacheGenerationTest, StopEndsTheTransferInProgressAndSavesWhatWasGathered) {
  MakeLoadedCache();
  const struct {
    int start;
    const char* stalled;  // the target that never ends
    int done;             // ids done before it
    std::vector<std::string> saved;
  } cases[] = {
      {2, "/mofuimg/pimg.php?imgid=3", 1, {"1", "2"}},  // the page: no answer at all
      {4, "/img/5.png", 1, {"1", "2", "4"}},            // the picture: part of its body, then nothing
      {6, "/mofuimg/pimg.php?imgid=6", 0, {"1", "2", "4"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stalled);
    SetRange(c.start, c.start + 2);
    for (int id = c.start; id <= c.start + 2; ++id) ServeEntry(id);
    const std::string picture = SolidPng(1, 2, 3);
    if (std::string(c.stalled).starts_with(kFirst)) {
      server_.ServeNoAnswer(c.stalled);
    } else {
      server_.ServeStalled(c.stalled, picture.substr(0, 20), picture.size());
    }
    const std::string recordsBefore = ReadWholeFile(PathOf("cache.ini"));
    const std::string databaseBefore = ReadWholeFile(PathOf("cache.db"));
    std::thread stopper([&] {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (server_.RequestCount(c.stalled) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      control_.Abort();
    });
    const auto started = std::chrono::steady_clock::now();
    const OperationResult result = Run();
    const auto took = std::chrono::steady_clock::now() - started;
    stopper.join();
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_TRUE(result.ok) << result.reason;
    EXPECT_TRUE(tally_.stopped);
    EXPECT_EQ(tally_.idsDone, c.done);
    EXPECT_EQ(server_.RequestCount(kFirst + std::to_string(c.start + 2)), 0);
    EXPECT_EQ(Saved().Sections(), c.saved);
    EXPECT_EQ(DatabaseColumn("id"), c.saved);
    EXPECT_EQ(control_.RowCount(), static_cast<int>(c.saved.size()));
    if (c.done == 0) {
      EXPECT_EQ(ReadWholeFile(PathOf("cache.ini")), recordsBefore);
      EXPECT_EQ(ReadWholeFile(PathOf("cache.db")), databaseBefore);
    }
    EXPECT_EQ(view_.LastStatus(), Sjis(u8"キャッシュ生成終了"));
  }
}

// A run whose every page fetch fails (the site down, a wrong host) has
// gathered nothing: rebuilding "cache.db" from "cache.ini" would only lose a
// downloaded cache. It fails and leaves both files and the loaded cache.
TEST_F(CacheGenerationTest, RunThatReachesNoPageKeepsBothFilesAndFails) {
  MakeLoadedCache();
  const std::string reason = Sjis(u8"ページを一つも取得できなかったので、cache.iniとcache.dbは元のままです");
  const std::string refused = "127.0.0.1:" + std::to_string(LoopbackHttpServer::UnusedPort());
  const struct {
    const char* what;
    bool refusedHost;
    bool withRecords;  // false: only a downloaded "cache.db", no "cache.ini"
  } cases[] = {
      {"404", false, true},
      {"refused", true, true},
      {"404, downloaded cache", false, false},
  };
  SetRange(2, 4);
  for (int id = 2; id <= 4; ++id) server_.ServeStatus(kFirst + std::to_string(id), 404);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.withRecords) std::filesystem::remove(PathOf("cache.ini"));
    OverrideServerHosts(c.refusedHost ? refused : server_.Host(), server_.Host());
    view_.Forget();
    const OperationResult result = Run();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.reason, reason);
    EXPECT_EQ(view_.LastStatus(), reason);
    EXPECT_EQ(tally_.idsDone, 3);
    EXPECT_TRUE(tally_.ReachedNoPage());
    EXPECT_EQ(tally_.recordsSaved, -1);
    EXPECT_EQ(LogMessages().back(), Sjis(u8"CacheGeneration::Run() : ") + reason);
    EXPECT_EQ(FileExists(PathOf("cache.ini")), c.withRecords);
    if (c.withRecords) {
      EXPECT_EQ(ReadWholeFile(PathOf("cache.ini")), records_);
    }
    EXPECT_EQ(ReadWholeFile(PathOf("cache.db")), database_);
    EXPECT_EQ(control_.RowCount(), 1);
  }
}

// What the run asks of the site for one id: the page, its second form when
// the first is short, then the picture the page names, also when the page
// has no title (a deleted id). Such a page's picture is kept in "image/";
// its record stays as it was.
TEST_F(CacheGenerationTest, EveryPageWithAPictureHasItFetchedTitleOrNot) {
  const std::string second = "/mofuimg/spimg.php?imgid=";
  const struct {
    int id;
    const char* title;
    bool shortPage;
  } cases[] = {
      {1, "titled", false},
      {2, "titled", true},
      {3, "", false},
      {4, "", true},
  };
  WriteWholeFile(PathOf("cache.ini"), "[3]\nTITLE=old\nGOOD=1\nCACHE=" + Signature(50) + "\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    const std::string id = std::to_string(c.id);
    const std::string image = "/img/" + id + ".png";
    PageFields fields;
    fields.title = c.title;
    fields.imageUrl = server_.Url(image);
    server_.Serve(kFirst + id, MakePage(fields, !c.shortPage), "text/html");
    server_.Serve(second + id, MakePage(fields, true), "text/html");
    server_.Serve(image, SolidPng(9, 9, 9), "image/png");
    SetRange(c.id, c.id);
    EXPECT_TRUE(Run());
    std::vector<std::string> expected = {kFirst + id};
    if (c.shortPage) expected.push_back(second + id);
    expected.push_back(image);
    EXPECT_EQ(NewTargets(), expected);
    const bool titled = *c.title != '\0';
    EXPECT_EQ(tally_.noTitle, titled ? 0 : 1);
    int saved = 0;
    for (const auto& entry : std::filesystem::directory_iterator(PathOf("image")))
      saved += entry.path().filename().string().starts_with(id + "_") ? 1 : 0;
    EXPECT_EQ(saved, 1);
  }
  // The untitled pages changed no record.
  EXPECT_EQ(Saved().Sections(), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(Saved().Get("3", "TITLE"), "old");
  EXPECT_EQ(Saved().Get("3", "CACHE"), Signature(50));
}

}  // namespace
