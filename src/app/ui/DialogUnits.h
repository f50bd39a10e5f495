#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

// Converts dialog-template units to pixels for one font, the way dialog
// templates are laid out: a horizontal unit is a quarter of the font's average
// character width, a vertical unit an eighth of its height, each product
// rounded to the nearest pixel.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);

  // The font's average character width and height in pixels.
  int BaseWidth() const { return baseWidth_; }
  int BaseHeight() const { return baseHeight_; }

  int X(int units) const;
  int Y(int units) const;
  QSize Size(int width, int height) const { return {X(width), Y(height)}; }
  // A control's rectangle from its left, top, width and height in units.
  QRect Rect(int left, int top, int width, int height) const;

 private:
  int baseWidth_;
  int baseHeight_;
};
