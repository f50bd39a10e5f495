#include "app/ui/DialogUnits.h"

#include <QFontMetrics>
#include <QString>

namespace {

// value * numerator / denominator rounded half away from zero, as the
// template layout's integer scaling does.
int ScaleRounded(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average width is measured over the 52 Latin letters and rounded,
  // not taken from the font's own average, so that proportional faces
  // give the same units the templates were designed with.
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  baseWidth_ = (letters / 26 + 1) / 2;
  baseHeight_ = metrics.height();
  if (baseWidth_ <= 0) baseWidth_ = 1;
  if (baseHeight_ <= 0) baseHeight_ = 1;
}

int DialogUnits::X(int units) const { return ScaleRounded(units, baseWidth_, 4); }

int DialogUnits::Y(int units) const { return ScaleRounded(units, baseHeight_, 8); }

QRect DialogUnits::Rect(int left, int top, int width, int height) const {
  // Edges are converted, not sizes, so that adjacent controls stay adjacent.
  const int x = X(left);
  const int y = Y(top);
  return QRect(x, y, X(left + width) - x, Y(top + height) - y);
}
