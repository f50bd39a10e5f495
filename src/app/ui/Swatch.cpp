#include "app/ui/Swatch.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "app/ui/PaintedIcon.h"

namespace {

// Fills (0, 0)-(side, side): the cells' edges fall on whole device pixels,
// the odd pixel of a side that does not divide by three going to the later
// cells, so no edge is blended.
void PaintSwatch(QPainter& painter, const ImageCache::Colours& colours, int side) {
  const auto level = [](std::int32_t value) { return std::clamp<std::int32_t>(value, 0, 255); };
  const auto edge = [side](int index) { return index * side / 3; };
  for (int i = 0; i < 9; ++i) {
    const QColor colour(level(colours[i * 3]), level(colours[i * 3 + 1]), level(colours[i * 3 + 2]));
    const int column = i % 3;
    const int row = i / 3;
    painter.fillRect(edge(column), edge(row), edge(column + 1) - edge(column), edge(row + 1) - edge(row), colour);
  }
}

}  // namespace

QImage SwatchImage(const ImageCache::Colours& colours, int cell, qreal ratio) {
  const int side = std::max(3, static_cast<int>(std::lround(3 * cell * ratio)));
  QImage image(side, side, QImage::Format_RGB32);
  {
    QPainter painter(&image);
    PaintSwatch(painter, colours, side);
  }
  image.setDevicePixelRatio(ratio);
  return image;
}

QIcon SwatchIcon(const ImageCache::Colours& colours) {
  return PaintedIcon([colours](QPainter& painter, int side) { PaintSwatch(painter, colours, side); });
}
