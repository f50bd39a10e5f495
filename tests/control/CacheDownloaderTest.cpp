#include "control/CacheDownloader.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "infra/InternetSession.h"
#include "infra/ServerAddress.h"
#include "infra/TextEncoding.h"
#include "support/FileSizeLimit.h"
#include "support/HotJournal.h"
#include "support/LoopbackHttpServer.h"
#include "support/ProgramDirectoryTest.h"

namespace {

std::string Sjis(const char8_t* utf8) { return SjisText(utf8).str(); }

InternetSession::Options ShortTimeouts() {
  InternetSession::Options options;
  options.connectTimeout = std::chrono::milliseconds(2000);
  options.stallTimeout = std::chrono::milliseconds(1000);
  return options;
}

void Exec(sqlite3* db, const std::string& sql) {
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr)) << sql;
}

// The bytes of a database holding `rows` rows of a table laid out by
// `createStatement` (the cache's own layout when empty).
std::string DatabaseBytes(const std::string& directory, int rows,
                          std::string createStatement = "") {
  if (createStatement.empty()) {
    createStatement = "create table TintwiseCache(id, title, name, good, bad, adult";
    for (int i = 0; i <= 26; ++i) createStatement += ", c" + std::to_string(i);
    createStatement += ", image_file_name);";
  }
  const std::string path = directory + "built.db";
  std::filesystem::remove(path);
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  Exec(db, createStatement);
  Exec(db, "begin;");
  for (int r = 0; r < rows; ++r) {
    std::string values = std::to_string(r + 1) + ", 'title " + std::to_string(r) + "', 'poster', 0, 0, 0";
    for (int i = 0; i <= 26; ++i) values += ", " + std::to_string((r * 7 + i) % 256);
    Exec(db, "insert into TintwiseCache values(" + values + ", 'img');");
  }
  Exec(db, "commit;");
  sqlite3_close(db);
  std::string bytes = ReadWholeFile(path);
  std::filesystem::remove(path);
  return bytes;
}

}  // namespace

class CacheDownloaderTest : public ProgramDirectoryTest {
 protected:
  CacheDownloaderTest() : session_("Tintwise", ShortTimeouts()) {}

  void SetUp() override {
    ProgramDirectoryTest::SetUp();
    oldCache_ = DatabaseBytes(Dir(), 3);
    WriteWholeFile(PathOf("cache.db"), oldCache_);
    newCache_ = DatabaseBytes(Dir(), 2000);
  }

  bool Download(const std::string& target = "/mofu/cache.db", CacheDownloader::Options options = {}) {
    return CacheDownloader(options).Download(session_, server_.Url(target), "cache.db");
  }

  void ExpectOldCacheKept() const {
    EXPECT_EQ(ReadWholeFile(PathOf("cache.db")), oldCache_);
    EXPECT_EQ(DirectoryEntries(), (std::vector<std::string>{"cache.db", "log.txt"}));
  }

  std::vector<std::string> DirectoryEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Dir())) {
      // Not a leftover: Windows locks a file, not the folder, for the writer lock.
      if (entry.path().filename() != "tintwise.lock") names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string RejectedLine() const {
    return Sjis(u8"CacheDownloader::Download() : キャッシュファイルの検証に失敗しました cache.db");
  }

  InternetSession session_;
  LoopbackHttpServer server_;
  std::string oldCache_;
  std::string newCache_;
};

TEST_F(CacheDownloaderTest, VerifiedDatabaseReplacesTheCache) {
  server_.Serve("/mofu/cache.db", newCache_);
  EXPECT_TRUE(Download());
  EXPECT_EQ(ReadWholeFile(PathOf("cache.db")), newCache_);
  EXPECT_EQ(DirectoryEntries(), (std::vector<std::string>{"cache.db", "log.txt"}));
  EXPECT_TRUE(LogMessages().empty());
  EXPECT_EQ(server_.Requests().at(0).userAgent, "Tintwise");
}

// A writer killed in the middle of a transaction on the old cache leaves its
// journal beside it; the database library would play that journal into the
// new file at its first opening (the old pages, the old length).
TEST_F(CacheDownloaderTest, JournalOfTheOldCacheIsNotPlayedIntoTheNewOne) {
  const std::string journal = HotJournalOf(PathOf("cache.db"));
  ASSERT_FALSE(journal.empty());
  WriteWholeFile(PathOf("cache.db-journal"), journal);

  server_.Serve("/mofu/cache.db", newCache_);
  EXPECT_TRUE(Download());
  EXPECT_EQ(DirectoryEntries(), (std::vector<std::string>{"cache.db", "log.txt"}));
  sqlite3* reader = nullptr;
  ASSERT_EQ(sqlite3_open(PathOf("cache.db").c_str(), &reader), SQLITE_OK);
  sqlite3_stmt* count = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(reader, "select count(*) from TintwiseCache;", -1, &count, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(count, 0), 2000);
  sqlite3_finalize(count);
  sqlite3_close(reader);
}

TEST_F(CacheDownloaderTest, DefaultSourceIsTheCacheServersDatabase) {
  server_.Serve("/mofu/cache.db", newCache_);
  const std::string siteHost = SiteHost(), cacheHost = CacheHost();
  OverrideServerHosts(siteHost, server_.Host());
  EXPECT_TRUE(CacheDownloader().Download(session_));
  OverrideServerHosts(siteHost, cacheHost);
  EXPECT_EQ(ReadWholeFile(PathOf("cache.db")), newCache_);
}

TEST_F(CacheDownloaderTest, DatabaseMayReplaceAMissingCache) {
  std::filesystem::remove(PathOf("cache.db"));
  server_.Serve("/mofu/cache.db", newCache_);
  EXPECT_TRUE(Download());
  EXPECT_EQ(ReadWholeFile(PathOf("cache.db")), newCache_);
}

TEST_F(CacheDownloaderTest, StatusOtherThan200KeepsTheCacheSilently) {
  server_.ServeStatus("/mofu/cache.db", 404);
  server_.Serve("/error", newCache_, "application/octet-stream", 500);
  EXPECT_FALSE(Download());
  EXPECT_FALSE(Download("/error"));
  ExpectOldCacheKept();
  EXPECT_TRUE(LogMessages().empty());
}

TEST_F(CacheDownloaderTest, RefusedConnectionKeepsTheCache) {
  EXPECT_FALSE(CacheDownloader().Download(
      session_, "http://127.0.0.1:" + std::to_string(LoopbackHttpServer::UnusedPort()) + "/mofu/cache.db",
      "cache.db"));
  ExpectOldCacheKept();
  ASSERT_EQ(LogMessages().size(), 2u);
  EXPECT_EQ(LogMessages()[0], Sjis(u8"InternetFile::InternetFile() : インターネット接続例外キャッチ"));
}

TEST_F(CacheDownloaderTest, BodyThatBreaksOffKeepsTheCache) {
  server_.ServeTruncated("/mofu/cache.db", newCache_.substr(0, newCache_.size() / 2), newCache_.size());
  EXPECT_FALSE(Download());
  ExpectOldCacheKept();
  ASSERT_EQ(LogMessages().size(), 2u);
  EXPECT_EQ(LogMessages()[0], Sjis(u8"InternetFile::Read() : インターネット接続例外キャッチ"));
}

TEST_F(CacheDownloaderTest, StalledBodyKeepsTheCache) {
  server_.ServeStalled("/mofu/cache.db", newCache_.substr(0, 10000), newCache_.size());
  EXPECT_FALSE(Download());
  ExpectOldCacheKept();
  ASSERT_EQ(LogMessages().size(), 2u);
  EXPECT_EQ(LogMessages()[0], Sjis(u8"InternetFile::Read() : インターネット接続例外キャッチ"));
}

TEST_F(CacheDownloaderTest, BodiesThatAreNotACacheDatabaseAreRejected) {
  std::string damaged = newCache_;
  for (size_t i = 4096 * 3; i < 4096 * 5; ++i) damaged[i] = static_cast<char>(i * 37);
  const std::vector<std::string> bodies = {
      "",
      "<html><body>maintenance</body></html>",
      std::string("SQLite format 3\0", 16) + std::string(8000, '\x01'),
      DatabaseBytes(Dir(), 0, "create table Other(id, title);"),
      DatabaseBytes(Dir(), 0, "create table TintwiseCache(id, title, name, good, bad, adult, c0);"),
      damaged,
  };
  for (size_t i = 0; i < bodies.size(); ++i) {
    server_.Serve("/body" + std::to_string(i), bodies[i]);
    EXPECT_FALSE(Download("/body" + std::to_string(i))) << "body " << i;
  }
  ExpectOldCacheKept();
  EXPECT_EQ(LogMessages(), std::vector<std::string>(bodies.size(), RejectedLine()));
}

TEST_F(CacheDownloaderTest, BodyBeyondTheSizeLimitIsRefused) {
  server_.ServeGenerated("/mofu/cache.db", 1 << 20);
  CacheDownloader::Options options;
  options.maxBytes = 64 * 1024;
  EXPECT_FALSE(Download("/mofu/cache.db", options));
  ExpectOldCacheKept();
  EXPECT_EQ(LogMessages(), std::vector<std::string>{RejectedLine()});
}

TEST_F(CacheDownloaderTest, TargetThatCannotBeCreatedIsReported) {
  server_.Serve("/mofu/cache.db", newCache_);
  EXPECT_FALSE(CacheDownloader().Download(session_, server_.Url("/mofu/cache.db"), "no-such-dir/cache.db"));
  ExpectOldCacheKept();
  EXPECT_EQ(LogMessages(), std::vector<std::string>{Sjis(
                               u8"CacheDownloader::Download() : ファイルを開けませんでした no-such-dir/cache.db")});
}

// A file size limit makes writes fail the way a full disk does.
TEST_F(CacheDownloaderTest, FullDiskKeepsTheCache) {
  server_.Serve("/mofu/cache.db", newCache_);
  if (!FileSizeLimit::Supported()) GTEST_SKIP() << "a full disk is simulated by a per-process file size limit";
  constexpr std::uint64_t kLimit = 64 * 1024;
  ASSERT_LT(kLimit, newCache_.size());
  bool downloaded = false;
  {
    FileSizeLimit full(kLimit);
    downloaded = Download();
  }
  EXPECT_FALSE(downloaded);
  ExpectOldCacheKept();
  EXPECT_EQ(LogMessages(), std::vector<std::string>{Sjis(
                               u8"CacheDownloader::Download() : ファイルに書き込めませんでした cache.db")});
}

// The check opens the file through a URI: names with the URI's own
// characters, spaces and Japanese must still name the same file, relative
// or absolute. ('?' and ':', which only Linux names hold, in
// CacheDownloaderPosixTest.)
TEST_F(CacheDownloaderTest, CheckFindsFilesWhateverTheirNames) {
  const std::vector<std::string> names = {"plain.db", "a#b%25c[d].db", "sp ace&x=1.db",
                                          reinterpret_cast<const char*>(u8"日本語.db")};
  for (const std::string& name : names) {
    WriteWholeFile(PathOf(name), newCache_);
    EXPECT_TRUE(CacheDownloader::IsCacheDatabase(name)) << name;
    EXPECT_TRUE(CacheDownloader::IsCacheDatabase(PathOf(name))) << name;
    EXPECT_TRUE(CacheDownloader::IsCacheDatabase("./" + name)) << name;
    EXPECT_TRUE(std::filesystem::remove(Utf8Path(PathOf(name))));
    EXPECT_FALSE(CacheDownloader::IsCacheDatabase(name)) << name;
  }
  EXPECT_EQ(DirectoryEntries(), (std::vector<std::string>{"cache.db", "log.txt"}));
}
