#include "search/CacheLoader.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/CacheFileWriter.h"
#include "search/CacheTable.h"
#include "search/ReferenceSearch.h"
#include "search/SyntheticCache.h"
#include "support/TempDirectory.h"

namespace {

class CacheLoaderTest : public ::testing::Test {
 protected:
  std::string Path() const { return dir_.File("cache.db"); }

  void WriteSynthetic(size_t rows) {
    SyntheticCacheOptions options;
    options.rows = rows;
    std::string error;
    ASSERT_TRUE(WriteSyntheticCache(Path(), options, &error)) << error;
  }

  // Loads `tableName` of the file; the code and the rows read.
  int Load(const std::string& tableName, CacheTable& table) {
    SQLite db;
    EXPECT_EQ(0, db.Open(Path()));
    CacheLoader loader(db.Handle());
    const int code = loader.Load(tableName, table);
    error_ = loader.LastError();
    return code;
  }

  static void ExpectSameRows(const CacheTable& a, const CacheTable& b) {
    ASSERT_EQ(a.RowCount(), b.RowCount());
    for (size_t r = 0; r < a.RowCount(); ++r) {
      ASSERT_EQ(a.Id(r), b.Id(r)) << r;
      ASSERT_EQ(a.Title(r), b.Title(r)) << r;
      ASSERT_EQ(a.Name(r), b.Name(r)) << r;
      ASSERT_EQ(a.Signature(r), b.Signature(r)) << r;
    }
  }

  TempDirectory dir_;
  std::string error_;
};

TEST_F(CacheLoaderTest, SignaturesMatchThePlainTextReading) {
  WriteSynthetic(3000);
  CacheTable table;
  ASSERT_EQ(0, Load("TintwiseCache", table));
  const std::vector<ImageCache::Colours> expected = ReadSignaturesAsText(Path());
  ASSERT_EQ(expected.size(), table.RowCount());
  for (size_t r = 0; r < expected.size(); ++r) ASSERT_EQ(expected[r], table.Signature(r)) << r;
}

TEST_F(CacheLoaderTest, SteppedReadOfAViewGivesTheSameRows) {
  WriteSynthetic(2500);
  {
    SQLite db(Path());
    ASSERT_EQ(0, db.Exec("create view CacheView as select * from TintwiseCache;")) << db.LastError();
  }
  CacheTable direct;
  CacheTable throughView;
  ASSERT_EQ(0, Load("TintwiseCache", direct));
  ASSERT_EQ(0, Load("CacheView", throughView));
  ExpectSameRows(direct, throughView);
}

TEST_F(CacheLoaderTest, OrderIsTheTableOrderEvenWithACoveringIndex) {
  {
    CacheFileWriter writer(Path());
    for (const int v : {9, 3, 7}) writer.Add(std::to_string(10 - v), "t", "n", Uniform(v));
  }
  {
    SQLite db(Path());
    std::string index = "create index ByValue on TintwiseCache(c0, id, title, name";
    for (int i = 1; i < 27; ++i) index += ", c" + std::to_string(i);
    ASSERT_EQ(0, db.Exec(index + ");")) << db.LastError();
  }
  CacheTable table;
  ASSERT_EQ(0, Load("TintwiseCache", table));
  EXPECT_EQ("1", table.Id(0));
  EXPECT_EQ("7", table.Id(1));
  EXPECT_EQ("3", table.Id(2));
}

TEST_F(CacheLoaderTest, DamagedFileFailsWithLibraryMessage) {
  WriteSynthetic(5000);
  {
    std::fstream file(Path(), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(40 * 4096);
    const std::string junk(4096, '\xa5');
    file.write(junk.data(), static_cast<std::streamsize>(junk.size()));
  }
  CacheTable table;
  EXPECT_NE(0, Load("TintwiseCache", table));
  EXPECT_EQ("database disk image is malformed", error_);
}

}  // namespace
