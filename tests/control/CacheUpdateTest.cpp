#include "control/CacheUpdate.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "infra/InternetSession.h"
#include "infra/ServerAddress.h"
#include "infra/TextEncoding.h"
#include "support/CacheFileWriter.h"
#include "control/Control.h"
#include "support/LoopbackHttpServer.h"
#include "support/ProgramDirectoryTest.h"
#include "support/RecordingView.h"

namespace {

std::string Sjis(const char8_t* utf8) { return SjisText(utf8).str(); }

const char8_t kNotACache[] = u8"ダウンロードしたファイルはキャッシュとして使えません(検証に失敗しました)";

std::shared_ptr<InternetSession> ShortTimeoutSession() {
  InternetSession::Options options;
  options.connectTimeout = std::chrono::milliseconds(2000);
  options.stallTimeout = std::chrono::milliseconds(1000);
  return std::make_shared<InternetSession>("Tintwise", options);
}

}  // namespace

class CacheUpdateTest : public ProgramDirectoryTest {
 protected:
  void SetUp() override {
    ProgramDirectoryTest::SetUp();
    savedSiteHost_ = SiteHost();
    savedCacheHost_ = CacheHost();
    OverrideServerHosts(savedSiteHost_, server_.Host());
    WriteCache(PathOf("cache.db"), {"101", "102"});
    oldCache_ = ReadWholeFile(PathOf("cache.db"));
    WriteCache(PathOf("new.db"), {"201", "202", "203"});
    newCache_ = ReadWholeFile(PathOf("new.db"));
    std::filesystem::remove(PathOf("new.db"));
    control_.LoadCache();
    view_.Forget();
  }

  void TearDown() override {
    OverrideServerHosts(savedSiteHost_, savedCacheHost_);
    ProgramDirectoryTest::TearDown();
  }

  // Rows with the given ids; the signature of each is uniform in its position.
  static void WriteCache(const std::string& path, const std::vector<std::string>& ids) {
    CacheFileWriter writer(path);
    for (size_t i = 0; i < ids.size(); ++i)
      writer.Add(ids[i], "title " + ids[i], "poster", Uniform(static_cast<int>(i)));
  }

  bool Update() { return CacheUpdate(control_.Context()).Run().ok; }

  std::vector<std::string> DirectoryEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Dir())) {
      // Not a leftover: Windows locks a file, not the folder, for the writer lock.
      if (entry.path().filename() != "tintwise.lock") names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // The ids a search lists, closest first (the query of a non-image is all zeros).
  std::vector<std::string> SearchedIds() {
    WriteUniformPicture(PathOf("black.png"), 0);
    control_.SetPath(PathOf("black.png"));
    view_.Forget();
    control_.Search();
    std::vector<std::string> ids;
    for (const auto& row : view_.Rows()) ids.push_back(row.at(2));
    return ids;
  }

  // A body that arrived whole but is no cache says so, not that the download failed.
  void ExpectFailureKeptTheOldCache(const char8_t* failure = u8"キャッシュファイルのダウンロードに失敗しました") {
    EXPECT_EQ(view_.StatusTexts(), (std::vector<std::string>{Sjis(u8"キャッシュファイルのダウンロード中"), Sjis(failure)}));
    EXPECT_EQ(view_.EnableCalls(), (std::vector<bool>{false, true}));
    EXPECT_EQ(ReadWholeFile(PathOf("cache.db")), oldCache_);
    EXPECT_EQ(control_.RowCount(), 2);
  }

  LoopbackHttpServer server_;
  RecordingView view_;
  Control control_{view_, ShortTimeoutSession()};
  std::string oldCache_;
  std::string newCache_;

 private:
  std::string savedSiteHost_;
  std::string savedCacheHost_;
};

TEST_F(CacheUpdateTest, GoodUpdateIsUsedByTheNextSearchWithoutRestart) {
  server_.Serve("/mofu/cache.db", newCache_);
  control_.UpdateCache();
  EXPECT_EQ(view_.StatusTexts(), (std::vector<std::string>{Sjis(u8"キャッシュファイルのダウンロード中"),
                                                           Sjis(u8"キャッシュファイルのダウンロードが完了しました")}));
  EXPECT_EQ(view_.EnableCalls(), (std::vector<bool>{false, true}));
  EXPECT_EQ(ReadWholeFile(PathOf("cache.db")), newCache_);
  EXPECT_TRUE(LogMessages().empty());
  EXPECT_EQ(SearchedIds(), (std::vector<std::string>{"201", "202", "203"}));
}

TEST_F(CacheUpdateTest, DatabaseIsReleasedWhileTheDownloadRuns) {
  bool heldDuringDownload = true;
  server_.Handle("/mofu/cache.db", [&](const httplib::Request&, httplib::Response& response) {
    // The operation's thread is blocked in the request, so reading its state here is safe.
    heldDuringDownload = control_.Table() != nullptr;
    response.status = 404;
  });
  EXPECT_FALSE(Update());
  EXPECT_FALSE(heldDuringDownload);
  EXPECT_EQ(control_.RowCount(), 2);
}

TEST_F(CacheUpdateTest, UnreachableServerKeepsAndReloadsTheOldCache) {
  OverrideServerHosts(SiteHost(), "127.0.0.1:" + std::to_string(LoopbackHttpServer::UnusedPort()));
  EXPECT_FALSE(Update());
  ExpectFailureKeptTheOldCache();
  ASSERT_EQ(LogMessages().size(), 2u);
  EXPECT_EQ(LogMessages()[0], Sjis(u8"InternetFile::InternetFile() : インターネット接続例外キャッチ"));
  EXPECT_EQ(SearchedIds(), (std::vector<std::string>{"101", "102"}));
}

TEST_F(CacheUpdateTest, NotFoundKeepsTheOldCacheWithoutLogging) {
  const OperationResult result = CacheUpdate(control_.Context()).Run();
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.reason, Sjis(u8"キャッシュファイルのダウンロードに失敗しました"));
  ExpectFailureKeptTheOldCache();
  EXPECT_TRUE(LogMessages().empty());
}

TEST_F(CacheUpdateTest, BodyThatBreaksOffKeepsTheOldCache) {
  server_.ServeTruncated("/mofu/cache.db", newCache_.substr(0, newCache_.size() / 2), newCache_.size());
  EXPECT_FALSE(Update());
  ExpectFailureKeptTheOldCache();
  ASSERT_EQ(LogMessages().size(), 2u);
  EXPECT_EQ(LogMessages()[0], Sjis(u8"InternetFile::Read() : インターネット接続例外キャッチ"));
}

TEST_F(CacheUpdateTest, ServerThatStopsSendingKeepsTheOldCache) {
  server_.ServeStalled("/mofu/cache.db", newCache_.substr(0, 4000), newCache_.size());
  EXPECT_FALSE(Update());
  ExpectFailureKeptTheOldCache();
  ASSERT_EQ(LogMessages().size(), 2u);
  EXPECT_EQ(LogMessages()[0], Sjis(u8"InternetFile::Read() : インターネット接続例外キャッチ"));
}

TEST_F(CacheUpdateTest, BodyThatIsNotADatabaseKeepsTheOldCache) {
  server_.Serve("/mofu/cache.db", "<html>the cache is being rebuilt</html>", "text/html");
  EXPECT_FALSE(Update());
  ExpectFailureKeptTheOldCache(kNotACache);
  EXPECT_EQ(LogMessages(),
            std::vector<std::string>{Sjis(u8"CacheDownloader::Download() : キャッシュファイルの検証に失敗しました cache.db")});
}

TEST_F(CacheUpdateTest, EmptyBodyIsAFailureNotAnEmptyCache) {
  server_.Serve("/mofu/cache.db", "");
  EXPECT_FALSE(Update());
  ExpectFailureKeptTheOldCache(kNotACache);
}

TEST_F(CacheUpdateTest, MissingCacheIsFilledByAGoodUpdate) {
  control_.ReleaseDatabase();
  std::filesystem::remove(PathOf("cache.db"));
  server_.Serve("/mofu/cache.db", newCache_);
  EXPECT_TRUE(Update());
  EXPECT_EQ(control_.RowCount(), 3);
}

// A database served in write-ahead-log mode: its check must not leave the
// library's "-wal" and "-shm" files beside the temporary copy, update after
// update.
TEST_F(CacheUpdateTest, DatabaseInWalModeLeavesNothingBehind) {
  WriteCache(PathOf("wal.db"), {"301", "302"});
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(PathOf("wal.db").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "pragma journal_mode=wal;", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  const std::string walCache = ReadWholeFile(PathOf("wal.db"));
  std::filesystem::remove(PathOf("wal.db"));
  ASSERT_EQ(walCache.at(18), 2);  // the file format's write-ahead-log mark
  server_.Serve("/mofu/cache.db", walCache);
  for (int round = 0; round < 2; ++round) {
    EXPECT_TRUE(Update());
    EXPECT_EQ(control_.RowCount(), 2);
    control_.ReleaseDatabase();
    EXPECT_EQ(DirectoryEntries(), (std::vector<std::string>{"cache.db", "log.txt"}));
    EXPECT_EQ(ReadWholeFile(PathOf("cache.db")), walCache);
  }
}

// Abort (and closing the window, which aborts) stops a download that the
// server holds up, within a second and long before any time-out, and the
// old cache stays in place with no partial copy left.
TEST_F(CacheUpdateTest, AbortStopsAHeldUpDownloadWithinASecondAndKeepsTheOldCache) {
  server_.ServeStalled("/stall/mofu/cache.db", newCache_.substr(0, 4000), newCache_.size());
  server_.ServeNoAnswer("/silent/mofu/cache.db");
  InternetSession::Options patient;
  patient.stallTimeout = std::chrono::milliseconds(60000);
  InternetSession session("Tintwise", patient);
  for (const char* prefix : {"/stall", "/silent"}) {
    OverrideServerHosts(SiteHost(), server_.Host() + prefix);
    const OperationContext base = control_.Context();
    const OperationContext context{base.view, session, base.cache, base.running};
    OperationResult updated = OperationResult::Success();
    const auto started = std::chrono::steady_clock::now();
    std::thread update([&] { updated = CacheUpdate(context).Run(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    control_.Abort();
    update.join();
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_FALSE(updated) << prefix;
    EXPECT_LT(took, std::chrono::milliseconds(1300)) << prefix;
    EXPECT_EQ(ReadWholeFile(PathOf("cache.db")), oldCache_) << prefix;
    EXPECT_EQ(control_.RowCount(), 2) << prefix;
    for (const auto& entry : std::filesystem::directory_iterator(Dir()))
      EXPECT_EQ(entry.path().filename().string().rfind("cache.db.", 0), std::string::npos) << entry.path();
  }
}
