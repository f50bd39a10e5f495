#include <gtest/gtest.h>

#include "app/shared/ColumnFit.h"

namespace {

using Widths = std::vector<int>;

TEST(ColumnFitTest, TheFittedColumnHoldsItsTextAndSpareRoomIsSharedByTheOthers) {
  struct Case {
    Widths widths;
    int fitted;
    int fittedText;
    int room;
    Widths expected;
  };
  const Case cases[] = {
      // Too little room: the widths as they are, the list scrolls.
      {{200, 150, 100, 100}, 3, 80, 500, {200, 150, 100, 100}},
      {{200, 150, 100, 100}, 3, 160, 500, {200, 150, 100, 160}},
      // Spare room in proportion, the rounding's rest to the first.
      {{200, 150, 100, 100}, 3, 80, 1000, {400, 300, 200, 100}},
      {{200, 150, 100, 100}, 3, 160, 1001, {375, 280, 186, 160}},
      {{200, 150, 100, 100}, -1, 500, 650, {237, 177, 118, 118}},
      {{200, 150, 100, 100}, 7, 500, 550, {200, 150, 100, 100}},
      // Nothing to share by: only the fitted column, or widths of zero.
      {{100}, 0, 120, 900, {120}},
      {{0, 0, 50}, 2, 10, 300, {0, 0, 50}},
      {{}, -1, 0, 300, {}},
  };
  for (const Case& c : cases) {
    const Widths fitted = FitColumnWidths(c.widths, c.fitted, c.fittedText, c.room);
    EXPECT_EQ(c.expected, fitted) << c.room << " " << c.fittedText;
  }
}

TEST(ColumnFitTest, ADraggedColumnKeepsTheUsersWidthLessWhatItWasGiven) {
  struct Case {
    int kept, fittedBefore, shown, expected;
  };
  const Case cases[] = {{200, 400, 450, 250}, {200, 200, 120, 120}, {200, 400, 100, 1}, {100, 80, 90, 90}};
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, ColumnWidthToKeep(c.kept, c.fittedBefore, c.shown)) << c.kept << " " << c.shown;
  }
}

}  // namespace
