#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTest>

#include "app/ui/CListCtrlEx.h"
#include "infra/TextEncoding.h"

namespace {

std::string Sjis(std::u8string_view utf8) { return SjisText(utf8).str(); }

class ListCtrlTest : public ::testing::Test {
 protected:
  ListCtrlTest() {
    list_.SetColumns({Sjis(u8"タイトル"), Sjis(u8"投稿者"), "ID", Sjis(u8"差異")});
    list_.resize(600, 300);
    list_.show();
  }

  void Add(const std::string& title, const std::string& id, const std::string& difference) {
    ASSERT_GE(list_.AddRow({title, "poster", id, difference}), 0);
  }

  void ClickHeader(int column) {
    QHeaderView* header = list_.horizontalHeader();
    const QPoint centre(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
  }

  std::vector<std::string> Column(int column) const {
    std::vector<std::string> texts;
    for (int row = 0; row < list_.RowCount(); ++row) texts.push_back(list_.GetRowTexts(row)[column]);
    return texts;
  }

  CListCtrlEx list_;
};

using Texts = std::vector<std::string>;

TEST_F(ListCtrlTest, FirstHeaderClickSortsAscendingAndTheSecondDescending) {
  Add("a", "1", "0040");
  Add("b", "2", "0003");
  Add("c", "3", "0120");
  ClickHeader(3);
  EXPECT_EQ(Column(3), (Texts{"0003", "0040", "0120"}));
  ClickHeader(3);
  EXPECT_EQ(Column(3), (Texts{"0120", "0040", "0003"}));
  ClickHeader(3);
  EXPECT_EQ(Column(3), (Texts{"0003", "0040", "0120"}));
}

TEST_F(ListCtrlTest, EachColumnKeepsItsOwnAlternation) {
  Add("b", "1", "0002");
  Add("a", "2", "0001");
  ClickHeader(3);  // difference ascending
  ClickHeader(0);  // title ascending
  EXPECT_EQ(Column(0), (Texts{"a", "b"}));
  ClickHeader(3);  // difference's second click: descending
  EXPECT_EQ(Column(3), (Texts{"0002", "0001"}));
}

TEST_F(ListCtrlTest, NumbersSortByTheirBytes) {
  Add("a", "99", "1001");
  Add("b", "100", "10000");
  Add("c", "7", "1000");
  ClickHeader(2);
  EXPECT_EQ(Column(2), (Texts{"100", "7", "99"}));
  ClickHeader(3);
  EXPECT_EQ(Column(3), (Texts{"1000", "10000", "1001"}));
}

TEST_F(ListCtrlTest, ShiftJisTextsSortByByteValuesNotCodePoints) {
  // U+3042 comes before U+30FC, but in Shift-JIS 0x82A0 comes after 0x815B;
  // a prefix comes before the longer text.
  // Bytes compare unsigned: ASCII before Shift-JIS lead bytes and half-width
  // katakana (0xB1), upper case before lower case.
  const Texts ascending = {"123",         "Apple",        "Zebra",         "apple",
                           Sjis(u8"ー"), Sjis(u8"ーー"), Sjis(u8"あ"), Sjis(u8"ｱ")};
  for (const int i : {6, 2, 7, 0, 4, 3, 5, 1}) Add(ascending[static_cast<size_t>(i)], std::to_string(i), "0001");
  ClickHeader(0);
  EXPECT_EQ(Column(0), ascending);
  ClickHeader(0);
  EXPECT_EQ(Column(0), Texts(ascending.rbegin(), ascending.rend()));
}

TEST_F(ListCtrlTest, HeaderClickOnEmptyListStillFlipsTheDirection) {
  ClickHeader(0);
  Add("a", "1", "0001");
  Add("b", "2", "0002");
  ClickHeader(0);  // the title column's second click
  EXPECT_EQ(Column(0), (Texts{"b", "a"}));
}

TEST_F(ListCtrlTest, SortingKeepsTheSelectionOnItsRow) {
  Add("a", "1", "0003");
  Add("b", "2", "0001");
  Add("c", "3", "0002");
  list_.selectRow(0);
  ClickHeader(3);
  ASSERT_EQ(2, list_.FirstSelectedRow());
  EXPECT_EQ("a", list_.GetRowTexts(2)[0]);
}

TEST_F(ListCtrlTest, RejectsRowsOfTheWrongWidthAndRowsOutOfRange) {
  EXPECT_EQ(-1, list_.AddRow({"a", "b", "c"}));
  EXPECT_EQ(0, list_.RowCount());
  Add("a", "1", "0001");
  EXPECT_TRUE(list_.GetRowTexts(1).empty());
  EXPECT_TRUE(list_.GetRowTexts(-1).empty());
  EXPECT_FALSE(list_.SortByColumn(4));
  EXPECT_EQ(-1, list_.FirstSelectedRow());
}

TEST_F(ListCtrlTest, ShowsShiftJisTextsConverted) {
  Add(Sjis(u8"猫の絵"), "1", "0001");
  const QAbstractItemModel* model = list_.model();
  EXPECT_EQ(QString::fromUtf8(u8"猫の絵"), model->data(model->index(0, 0)).toString());
  EXPECT_EQ(QString::fromUtf8(u8"差異"), model->headerData(3, Qt::Horizontal).toString());
  EXPECT_EQ(Sjis(u8"猫の絵"), list_.GetRowTexts(0)[0]);
}

}  // namespace
