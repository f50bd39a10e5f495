#pragma once

#include <windows.h>

#include <string>

#include "app/shared/DialogUnitScale.h"
#include "app/win/OwnedHandle.h"

// The dialog's font for one screen density, and the dialog units it gives.
// The face is the one the layout was designed with when the system has it,
// else the first of a few Japanese faces with the same proportions, else the
// system's message font; 9 points at `dpi` dots per inch.
class DialogFont {
 public:
  explicit DialogFont(UINT dpi);

  HFONT Get() const { return font_.get(); }
  UINT Dpi() const { return dpi_; }
  const DialogUnitScale& Units() const { return units_; }
  // The height in pixels `text` takes wrapped at `width` pixels.
  int WrappedHeight(const std::wstring& text, int width) const;
  // The width in pixels of one line of `text`.
  int TextWidth(const std::wstring& text) const;
  // The font narrowed (to no less than 80 %) until `text` fits in `room`
  // pixels; null when it fits as it is. The template's buttons are narrow
  // for their captions: a caption is narrowed rather than cut off.
  OwnedFont NarrowedToFit(const std::wstring& text, int room) const;

 private:
  UINT dpi_;
  OwnedFont font_;
  DialogUnitScale units_{1, 1};
};
