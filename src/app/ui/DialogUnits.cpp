#include "app/ui/DialogUnits.h"

#include <QFontMetrics>
#include <QString>

DialogUnits::DialogUnits(const QFont& font) : scale_(Measure(font)) {}

DialogUnitScale DialogUnits::Measure(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average width is measured over the 52 Latin letters and rounded,
  // not taken from the font's own average, so that proportional faces
  // give the same units the templates were designed with.
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return DialogUnitScale((letters / 26 + 1) / 2, metrics.height());
}

QRect DialogUnits::Rect(int left, int top, int width, int height) const {
  const PixelRect rect = scale_.Rect(left, top, width, height);
  return QRect(rect.left, rect.top, rect.width, rect.height);
}
