#pragma once

#include "app/shared/PixelRect.h"

// Dialog-template units to pixels for a font whose average character is
// `baseWidth` x `baseHeight` pixels: a horizontal unit is a quarter of the
// width, a vertical unit an eighth of the height, each product rounded to
// the nearest pixel (half away from zero), as dialog templates are laid out.
class DialogUnitScale {
 public:
  // A base of zero or less counts as 1.
  DialogUnitScale(int baseWidth, int baseHeight);

  int BaseWidth() const { return baseWidth_; }
  int BaseHeight() const { return baseHeight_; }
  int X(int units) const;
  int Y(int units) const;
  // A control's rectangle from its left, top, width and height in units.
  // Edges are converted, not sizes, so that adjacent controls stay adjacent.
  PixelRect Rect(int left, int top, int width, int height) const;

 private:
  int baseWidth_;
  int baseHeight_;
};
