#include "app/ui/Swatch.h"

#include <QPainter>
#include <algorithm>

QImage SwatchImage(const ImageCache::Colours& colours, int cell) {
  QImage image(3 * cell, 3 * cell, QImage::Format_RGB32);
  QPainter painter(&image);
  const auto level = [](std::int32_t value) { return std::clamp<std::int32_t>(value, 0, 255); };
  for (int i = 0; i < 9; ++i) {
    const QColor colour(level(colours[i * 3]), level(colours[i * 3 + 1]), level(colours[i * 3 + 2]));
    painter.fillRect((i % 3) * cell, (i / 3) * cell, cell, cell, colour);
  }
  return image;
}
