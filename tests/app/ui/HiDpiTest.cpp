#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>
#include <QTest>
#include <cstdlib>

#include "app/ui/CListCtrlEx.h"
#include "app/ui/PreviewBox.h"
#include "app/ui/ProgramIcon.h"
#include "app/ui/Swatch.h"

// Run with QT_SCALE_FACTOR=2 (the ui_hidpi test): every picture is drawn
// with two device pixels to a logical one, never a 1x copy scaled up.
namespace {

constexpr qreal kRatio = 2.0;

// Columns of `row` whose pixel is neither black nor white: a sharp edge
// between the two has none.
int BlendedPixels(const QImage& image, int row) {
  int blended = 0;
  for (int x = 0; x < image.width(); ++x) {
    const QRgb pixel = image.pixel(x, row) & 0xFFFFFFu;
    blended += pixel != 0 && pixel != 0xFFFFFFu ? 1 : 0;
  }
  return blended;
}

// Black left of column `edge`, white from it on.
QImage Edge(QSize size, int edge) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter(&image).fillRect(0, 0, edge, size.height(), Qt::black);
  return image;
}

class HiDpiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qApp->devicePixelRatio() != kRatio) GTEST_SKIP() << "needs QT_SCALE_FACTOR=2 (run as the ui_hidpi test)";
  }
};

TEST_F(HiDpiTest, PreviewIsMadeAtTheBoxsDevicePixelsAndKeepsEdgesSharp) {
  PreviewBox box;
  box.resize(100, 80);
  box.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
  ASSERT_EQ(box.devicePixelRatioF(), kRatio);
  // A picture of the box's device size is shown pixel for pixel; a larger one
  // is brought straight down to it. A 1x copy scaled up would blend the edge.
  const struct {
    QSize source;
    int edge;
    QSize box;
    int blendedAtMost;
  } cases[] = {{{200, 160}, 100, {100, 80}, 0}, {{400, 320}, 200, {100, 80}, 0}, {{600, 240}, 300, {150, 60}, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source.width());
    box.resize(c.box);
    box.SetPicture(Edge(c.source, c.edge));
    const QImage shown = box.Shown();
    EXPECT_EQ(shown.size(), c.box * kRatio);
    EXPECT_EQ(shown.devicePixelRatio(), kRatio);
    EXPECT_LE(BlendedPixels(shown, shown.height() / 2), c.blendedAtMost);
    // What reaches the screen is that image, one to one.
    const QImage drawn = box.grab().toImage();
    EXPECT_EQ(drawn.size(), c.box * kRatio);
    EXPECT_LE(BlendedPixels(drawn, drawn.height() / 2), c.blendedAtMost);
  }
}

TEST_F(HiDpiTest, SwatchesAndTheIconAreDrawnAtTheRatio) {
  ImageCache::Colours colours{};
  for (int i = 0; i < 9; ++i) colours[i * 3] = i % 2 == 0 ? 255 : 0;  // red and black cells in turn
  const auto sharpCells = [](const QImage& swatch) {
    const int cell = swatch.width() / 3;
    for (int y = 0; y < swatch.height(); ++y) {
      for (int x = 0; x < swatch.width(); ++x) {
        const int index = std::min(2, y / cell) * 3 + std::min(2, x / cell);
        if (qRed(swatch.pixel(x, y)) != (index % 2 == 0 ? 255 : 0)) return false;
      }
    }
    return true;
  };
  const QImage image = SwatchImage(colours, 8, kRatio);
  EXPECT_EQ(image.size(), QSize(48, 48));
  EXPECT_EQ(image.devicePixelRatio(), kRatio);
  EXPECT_TRUE(sharpCells(image));

  CListCtrlEx list;
  list.SetColumns({"a", "b"});
  list.AddRow({"x", "y"});
  list.SetRowSwatch(0, SwatchIcon(colours));
  const QImage row = list.RowSwatch(0);
  EXPECT_EQ(row.size(), list.iconSize() * kRatio);
  EXPECT_EQ(row.devicePixelRatio(), kRatio);
  EXPECT_TRUE(sharpCells(row));

  const QPixmap icon = ProgramIcon().pixmap(QSize(16, 16), kRatio);
  EXPECT_EQ(icon.size(), QSize(32, 32));
  EXPECT_EQ(icon.devicePixelRatio(), kRatio);
}

}  // namespace
