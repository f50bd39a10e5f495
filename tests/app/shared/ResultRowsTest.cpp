#include <gtest/gtest.h>

#include "app/shared/ResultRows.h"
#include "infra/TextEncoding.h"

namespace {

using Texts = std::vector<std::string>;

std::string Sjis(std::u8string_view utf8) { return SjisText(utf8).str(); }

Texts Column(const ResultRows& rows, int column) {
  Texts texts;
  for (int row = 0; row < rows.RowCount(); ++row) texts.push_back(rows.Row(row)[static_cast<size_t>(column)]);
  return texts;
}

// Each case fills one column in the given order, then sorts by it (clicks)
// times and expects the column's order after the last.
TEST(ResultRowsTest, SortsByUnsignedBytesAlternatingPerColumn) {
  // U+3042 comes before U+30FC, but in Shift-JIS 0x82A0 comes after 0x815B;
  // ASCII before lead bytes and half-width katakana (0xB1), upper case
  // before lower case, a prefix before the longer text.
  const Texts sjis = {"123", "Apple", "Zebra", "apple", Sjis(u8"ー"), Sjis(u8"ーー"), Sjis(u8"あ"), Sjis(u8"ｱ")};
  struct Case {
    const char* name;
    Texts filled;
    int clicks;
    Texts expected;
  };
  const Case cases[] = {
      {"first click ascends", {"0040", "0003", "0120"}, 1, {"0003", "0040", "0120"}},
      {"second descends", {"0040", "0003", "0120"}, 2, {"0120", "0040", "0003"}},
      {"third ascends again", {"0040", "0003", "0120"}, 3, {"0003", "0040", "0120"}},
      {"numbers as bytes", {"99", "100", "7"}, 1, {"100", "7", "99"}},
      {"a prefix first", {"1001", "10000", "1000"}, 1, {"1000", "10000", "1001"}},
      {"Shift-JIS bytes", {sjis[6], sjis[2], sjis[7], sjis[0], sjis[4], sjis[3], sjis[5], sjis[1]}, 1, sjis},
      {"Shift-JIS descending", {sjis[6], sjis[2], sjis[7], sjis[0], sjis[4], sjis[3], sjis[5], sjis[1]}, 2,
       Texts(sjis.rbegin(), sjis.rend())},
      {"empty", {}, 1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResultRows rows;
    rows.SetColumns({"title", "id"});
    for (size_t i = 0; i < c.filled.size(); ++i) ASSERT_TRUE(rows.AppendRow({c.filled[i], std::to_string(i)}));
    for (int click = 0; click < c.clicks; ++click) ASSERT_TRUE(rows.SortByColumn(0));
    EXPECT_EQ(Column(rows, 0), c.expected);
  }
}

TEST(ResultRowsTest, EqualTextsKeepTheirOrderAndEachColumnItsOwnDirection) {
  ResultRows rows;
  rows.SetColumns({"title", "difference"});
  for (const auto& [title, difference] : {std::pair{"b", "0002"}, {"a", "0001"}, {"a", "0003"}, {"b", "0001"}})
    rows.AppendRow({title, difference});
  rows.SortByColumn(1);  // difference ascending
  const auto moved = rows.SortByColumn(0);  // title ascending: equal titles stay in difference order
  ASSERT_TRUE(moved);
  EXPECT_EQ(Column(rows, 1), (Texts{"0001", "0003", "0001", "0002"}));
  EXPECT_EQ(*moved, (std::vector<int>{0, 2, 3, 1}));  // from a1 b1 b2 a3, as sorted by difference
  rows.SortByColumn(1);  // the difference's second click: descending
  EXPECT_EQ(Column(rows, 1), (Texts{"0003", "0002", "0001", "0001"}));
  EXPECT_EQ(Column(rows, 0), (Texts{"a", "b", "a", "b"}));
  // New columns start over, ascending.
  rows.SetColumns({"title", "difference"});
  rows.AppendRow({"b", "1"});
  rows.AppendRow({"a", "2"});
  rows.SortByColumn(0);
  EXPECT_EQ(Column(rows, 0), (Texts{"a", "b"}));
}

TEST(ResultRowsTest, RejectsRowsOfTheWrongWidthAndIndexesOutOfRange) {
  ResultRows rows;
  rows.SetColumns({"a", "b", "c", "d"});
  EXPECT_FALSE(rows.AppendRow({"a", "b", "c"}));
  EXPECT_FALSE(rows.AppendRow({"a", "b", "c", "d", "e"}));
  EXPECT_EQ(rows.RowCount(), 0);
  EXPECT_TRUE(rows.AppendRow({"a", "b", "c", "d"}));
  for (const int row : {-1, 1}) EXPECT_TRUE(rows.Row(row).empty()) << row;
  for (const int column : {-1, 4}) EXPECT_FALSE(rows.SortByColumn(column)) << column;
  rows.Clear();
  EXPECT_EQ(rows.RowCount(), 0);
  EXPECT_EQ(rows.ColumnCount(), 4);
}

}  // namespace
