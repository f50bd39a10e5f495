#include "app/shared/DialogUnitScale.h"

namespace {

// value * numerator / denominator rounded half away from zero, as the
// template layout's integer scaling does.
int ScaleRounded(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

}  // namespace

DialogUnitScale::DialogUnitScale(int baseWidth, int baseHeight)
    : baseWidth_(baseWidth > 0 ? baseWidth : 1), baseHeight_(baseHeight > 0 ? baseHeight : 1) {}

int DialogUnitScale::X(int units) const { return ScaleRounded(units, baseWidth_, 4); }

int DialogUnitScale::Y(int units) const { return ScaleRounded(units, baseHeight_, 8); }

PixelRect DialogUnitScale::Rect(int left, int top, int width, int height) const {
  const int x = X(left);
  const int y = Y(top);
  return {x, y, X(left + width) - x, Y(top + height) - y};
}
