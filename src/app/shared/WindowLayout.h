#pragma once

#include <array>
#include <functional>

#include "app/shared/DialogUnitScale.h"
#include "app/shared/PixelRect.h"

// Where the main window's controls go for a client area of a given size. The
// default size, which is also the smallest, is the template's layout in
// dialog units. Larger, the list takes the extra height and shares the extra
// width with the two picture boxes (the query's preview and the site's
// picture, side by side), which grow together and square; the buttons and
// the status line keep their size and order above the preview; the help text
// under the list wraps over the list's and the preview's width. When several
// pictures are queued, their strip of thumbnails stands beside the preview,
// between it and the list, as high as the list, which gives up its width. No toolkit:
// every window of the program lays itself out with it.
class WindowLayout {
 public:
  enum Control {
    kList,
    kSecretButton,
    kUpdateButton,
    kAbortButton,
    kOpenButton,
    kExitButton,
    kStatus,
    kPreview,
    kHidden,  // a 1 x 1 frame in the list's lower left corner, never shown
    kHelp,
    kSiteCaption,
    kSitePicture,
    kQuerySwatch,
    kQuerySwatchCaption,
    kQueueStrip,  // several pictures' thumbnails; empty unless shown
    kControlCount
  };
  using Rects = std::array<PixelRect, kControlCount>;
  // The height in pixels the help text needs when wrapped at `width` pixels.
  using HelpHeight = std::function<int(int width)>;

  // `swatchSide` is the query swatch's side in pixels.
  WindowLayout(DialogUnitScale units, int swatchSide, HelpHeight helpHeight);

  // The template's client size (the help text may make it taller); the
  // window is never made smaller.
  PixelSize DefaultSize() const { return defaultSize_; }
  // The controls' rectangles for a client area of `size`; a width or height
  // under the default one is laid out as the default. With `strip`, the
  // queue's strip has its place; without, its rectangle is empty.
  Rects Arrange(PixelSize size, bool strip = false) const;

 private:
  DialogUnitScale units_;
  int swatchSide_;
  HelpHeight helpHeight_;
  PixelSize defaultSize_;
};
