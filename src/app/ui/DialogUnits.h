#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

#include "app/shared/DialogUnitScale.h"

// Converts dialog-template units to pixels for one font (see DialogUnitScale):
// a horizontal unit is a quarter of the font's average character width, a
// vertical unit an eighth of its height.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);

  // The font's average character width and height in pixels.
  int BaseWidth() const { return scale_.BaseWidth(); }
  int BaseHeight() const { return scale_.BaseHeight(); }
  const DialogUnitScale& Scale() const { return scale_; }

  int X(int units) const { return scale_.X(units); }
  int Y(int units) const { return scale_.Y(units); }
  QSize Size(int width, int height) const { return {X(width), Y(height)}; }
  // A control's rectangle from its left, top, width and height in units.
  QRect Rect(int left, int top, int width, int height) const;

 private:
  static DialogUnitScale Measure(const QFont& font);

  DialogUnitScale scale_;
};
