// Cache databases whose rows would take unbounded memory: the load fails with
// a clear message in bounded memory, the download check refuses them, and a
// cache update serving one keeps the old cache.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "hardening/CacheFiles.h"
#include "support/PeakMemory.h"
#include "control/CacheDownloader.h"
#include "infra/InternetSession.h"
#include "infra/ServerAddress.h"
#include "search/CacheLoader.h"
#include "search/CacheTable.h"
#include "control/CacheUpdate.h"
#include "control/Control.h"
#include "search/SQLite.h"
#include "support/LoopbackHttpServer.h"
#include "support/ProgramDirectoryTest.h"
#include "support/RecordingView.h"

namespace {

class CacheTableLimitTest : public ProgramDirectoryTest {
 protected:
  // Loads "cache.db" with the given limits; the library's code.
  int LoadWith(const CacheLoader::Limits& limits) {
    SQLite db;
    EXPECT_EQ(0, db.Open(PathOf("cache.db")));
    CacheLoader loader(db.Handle(), limits);
    const int code = loader.Load("TintwiseCache", table_);
    error_ = loader.LastError();
    return code;
  }

  bool Logged(const std::string& text) const {
    for (const std::string& message : LogMessages()) {
      if (message.find(text) != std::string::npos) return true;
    }
    return false;
  }
  // The peak resident size counts from here (after the file was written).
  void StartMeasuring() { peakBefore_ = PeakResidentBytes(); }
  std::uint64_t PeakGrowth() const { return PeakResidentBytes() - peakBefore_; }

  RecordingView view_;
  CacheTable table_;
  std::string error_;
  std::uint64_t peakBefore_ = 0;
};

TEST_F(CacheTableLimitTest, RowsSharingAMebibyteTitleFailToLoad) {
  // 100,000 rows of 1 MiB titles: 100 GiB of text from a 3 MiB file.
  WriteSharedDefaultBomb(PathOf("cache.db"), 100000, 1 << 20);
  StartMeasuring();
  Control control(view_);
  EXPECT_FALSE(control.OpenDatabase());
  EXPECT_EQ(nullptr, control.Table());
  EXPECT_TRUE(Logged("string or blob too big"));
  EXPECT_LT(PeakGrowth(), 128 * kMiB * kPeakSlack);
}

TEST_F(CacheTableLimitTest, MillionsOfLongRowsStopAtTheTableLimit) {
  // 2,000,000 rows of 60 KiB titles, each under the value limit: 120 GiB in all.
  WriteSharedDefaultBomb(PathOf("cache.db"), 2000000, 60 * 1024);
  CacheLoader::Limits limits;
  limits.maxTableBytes = 64 * kMiB;
  StartMeasuring();
  EXPECT_EQ(SQLITE_TOOBIG, LoadWith(limits));
  EXPECT_EQ("cache table too large", error_);
  EXPECT_LT(PeakGrowth(), 192 * kMiB * kPeakSlack);
}

TEST_F(CacheTableLimitTest, TableWithinTheLimitLoadsWhole) {
  WriteCacheDatabase(PathOf("cache.db"), 5000);
  CacheLoader::Limits limits;
  limits.maxTableBytes = 1 * kMiB;
  ASSERT_EQ(SQLITE_OK, LoadWith(limits));
  EXPECT_EQ(5000u, table_.RowCount());
  EXPECT_EQ("title 5000", table_.Title(4999));
}

TEST_F(CacheTableLimitTest, NullTextsLoadAsEmptyTexts) {
  WriteCacheDatabase(PathOf("cache.db"), 2);
  {
    SQLite db(PathOf("cache.db"));
    ASSERT_EQ(0, db.Exec("update TintwiseCache set id = null, title = null, name = null where id = '2';"));
  }
  ASSERT_EQ(SQLITE_OK, LoadWith({}));
  ASSERT_EQ(2u, table_.RowCount());
  EXPECT_EQ("", table_.Title(1));
  EXPECT_EQ("", table_.Name(1));
  EXPECT_EQ("title 1", table_.Title(0));
}

TEST_F(CacheTableLimitTest, DownloadCheckRefusesWhatWouldNotLoad) {
  WriteSharedDefaultBomb(PathOf("bomb.db"), 1000, 1 << 20);
  WriteCacheDatabase(PathOf("good.db"), 10);
  EXPECT_FALSE(CacheDownloader::IsCacheDatabase(PathOf("bomb.db")));
  EXPECT_TRUE(CacheDownloader::IsCacheDatabase(PathOf("good.db")));
}

TEST_F(CacheTableLimitTest, CacheUpdateServingABombKeepsTheOldCache) {
  WriteCacheDatabase(PathOf("cache.db"), 4);
  const std::string old = ReadWholeFile(PathOf("cache.db"));
  WriteSharedDefaultBomb(PathOf("bomb.db"), 1000, 1 << 20);
  LoopbackHttpServer server;
  server.ServeFile("/mofu/cache.db", PathOf("bomb.db"));
  OverrideServerHosts(server.Host(), server.Host());
  Control control(view_);
  EXPECT_FALSE(CacheUpdate(control.Context()).Run());
  EXPECT_EQ(old, ReadWholeFile(PathOf("cache.db")));
  EXPECT_EQ(4, control.RowCount());
}

}  // namespace
