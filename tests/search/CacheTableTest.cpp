#include "search/CacheTable.h"

#include <gtest/gtest.h>

#include "support/CacheFileWriter.h"

namespace {

class CacheTableTest : public ::testing::Test {
 protected:
  void AddRows(size_t count) {
    for (size_t i = 0; i < count; ++i) {
      const std::string n = std::to_string(table_.RowCount());
      table_.Append(n, "title" + n, "name" + n, Numbered(table_.RowCount()));
    }
  }

  static ImageCache::Colours Numbered(size_t row) {
    ImageCache::Colours c;
    for (size_t v = 0; v < c.size(); ++v) c[v] = static_cast<std::int32_t>((row + v) % 256);
    return c;
  }

  void ExpectRow(size_t row) {
    const std::string n = std::to_string(row);
    EXPECT_EQ(n, table_.Id(row));
    EXPECT_EQ("title" + n, table_.Title(row));
    EXPECT_EQ("name" + n, table_.Name(row));
    EXPECT_EQ(Numbered(row), table_.Signature(row));
  }

  CacheTable table_;
};

TEST_F(CacheTableTest, RowsReadBackAcrossChunks) {
  AddRows(70000);
  ASSERT_EQ(70000u, table_.RowCount());
  for (const size_t row : {0u, 999u, 1000u, 2999u, 3000u, 63999u, 64000u, 69999u}) ExpectRow(row);
  size_t rows = 0;
  for (size_t c = 0; c < table_.ChunkCount(); ++c) {
    EXPECT_EQ(rows, table_.ChunkFirstRow(c));
    EXPECT_EQ(0u, table_.ChunkFirstRow(c) % CacheTable::kBlockRows);
    rows += table_.ChunkRows(c);
  }
  EXPECT_EQ(70000u, rows);
}

TEST_F(CacheTableTest, TextsAreCutAtTheirFirstZeroByte) {
  table_.Append(std::string_view("12\0" "3", 4), std::string_view("a\0b", 3), "", Uniform(0));
  EXPECT_EQ("12", table_.Id(0));
  EXPECT_EQ("a", table_.Title(0));
  EXPECT_EQ("", table_.Name(0));
}

TEST_F(CacheTableTest, ValueOutsideByteRangeKeepsEarlierRowsExact) {
  AddRows(2500);
  EXPECT_EQ(CacheTable::Layout::kBytes, table_.GetLayout());
  ImageCache::Colours odd = Uniform(7);
  odd[3] = -1;
  odd[4] = 256;
  table_.Append("x", "", "", odd);
  EXPECT_EQ(CacheTable::Layout::kInt32, table_.GetLayout());
  AddRows(10);
  EXPECT_EQ(odd, table_.Signature(2500));
  for (const size_t row : {0u, 1999u, 2499u, 2501u, 2510u}) ExpectRow(row);
}

}  // namespace
