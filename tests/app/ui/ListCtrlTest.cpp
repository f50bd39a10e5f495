#include <gtest/gtest.h>

#include <QHeaderView>
#include <QImage>
#include <QTest>

#include "app/ui/CListCtrlEx.h"
#include "infra/TextEncoding.h"

// The list's Qt side: header clicks, the selection, the shown texts. The
// order itself is ResultRows' (tests/app/shared).
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

TEST_F(ListCtrlTest, SortingKeepsTheSelectionAndTheSwatchOnTheirRow) {
  Add("a", "1", "0003");
  Add("b", "2", "0001");
  Add("c", "3", "0002");
  QImage swatch(9, 9, QImage::Format_RGB32);
  swatch.fill(Qt::red);
  list_.SetRowSwatch(0, swatch);
  list_.selectRow(0);
  ClickHeader(3);
  ASSERT_EQ(2, list_.FirstSelectedRow());
  EXPECT_EQ("a", list_.GetRowTexts(2)[0]);
  EXPECT_FALSE(list_.RowSwatch(2).isNull());
  EXPECT_TRUE(list_.RowSwatch(0).isNull());
}

TEST_F(ListCtrlTest, RejectsRowsOfTheWrongWidthAndRowsOutOfRange) {
  EXPECT_EQ(-1, list_.AddRow({"a", "b", "c"}));
  EXPECT_EQ(0, list_.RowCount());
  Add("a", "1", "0001");
  EXPECT_TRUE(list_.GetRowTexts(1).empty());
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
