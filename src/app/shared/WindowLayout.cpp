#include "app/shared/WindowLayout.h"

#include <algorithm>

namespace {

// The template, in dialog units. The site picture's column (the preview's
// width and a margin) widens the original 442.
constexpr int kMargin = 7;
constexpr int kColumnLeft = 307;   // buttons, status line and preview
constexpr int kColumnRight = 435;
constexpr int kSiteLeft = 442;
constexpr int kSiteRight = kSiteLeft + 128;
constexpr int kDialogWidth = kSiteRight + kMargin;
constexpr int kDialogHeight = 196;
constexpr int kBoxTop = 43;
constexpr int kBoxBottom = 171;
constexpr int kListBottom = 172;
constexpr int kHelpTop = 173;
constexpr int kHelpBottom = 189;
constexpr int kSwatchTop = 174;
// The queue's strip: a thumbnail and its two-line label, a scroll bar, and
// a gap on either side.
constexpr int kStripWidth = 56;
constexpr int kStripGap = 4;

struct ButtonPlace {
  WindowLayout::Control control;
  int left;
  int width;
};
// In their order along the row.
constexpr ButtonPlace kButtons[] = {
    {WindowLayout::kSecretButton, 307, 38}, {WindowLayout::kUpdateButton, 345, 37},
    {WindowLayout::kAbortButton, 382, 19},  {WindowLayout::kOpenButton, 401, 15},
    {WindowLayout::kExitButton, 416, 19},
};

}  // namespace

WindowLayout::WindowLayout(DialogUnitScale units, int swatchSide, HelpHeight helpHeight)
    : units_(units), swatchSide_(swatchSide), helpHeight_(std::move(helpHeight)) {
  const int helpWidth = units_.X(kColumnRight) - units_.X(kMargin);
  const int templateHelp = units_.Y(kHelpBottom) - units_.Y(kHelpTop);
  // The help text was written for a face with narrow kana; with a wider face
  // it needs more lines than its box holds, so the window grows rather than
  // cutting it off.
  const int extra = helpHeight_ ? std::max(0, helpHeight_(helpWidth) - templateHelp) : 0;
  defaultSize_ = {units_.X(kDialogWidth), units_.Y(kDialogHeight) + extra};
}

WindowLayout::Rects WindowLayout::Arrange(PixelSize size, bool strip) const {
  const DialogUnitScale& u = units_;
  const int width = std::max(size.width, defaultSize_.width);
  const int height = std::max(size.height, defaultSize_.height);
  Rects rects;

  // Horizontally, from the right: margin, site picture, gap, preview, list.
  const int rightMargin = u.X(kDialogWidth) - u.X(kSiteRight);
  const int gap = u.X(kSiteLeft) - u.X(kColumnRight);
  const int previewWidth = u.X(kColumnRight) - u.X(kColumnLeft);
  const int siteWidth = u.X(kSiteRight) - u.X(kSiteLeft);
  const int extraWidth = width - defaultSize_.width;

  // Vertically, from the bottom: margin, help text, gap, list.
  const int helpLeft = u.X(kMargin);
  const int bottomMargin = u.Y(kDialogHeight) - u.Y(kHelpBottom);
  const int boxTop = u.Y(kBoxTop);
  const int boxHeight = u.Y(kBoxBottom) - boxTop;
  const int boxToListBottom = u.Y(kListBottom) - u.Y(kBoxBottom);

  // The boxes take a third of the extra width each, as far as the height
  // beside the list allows; they stay square once both are past their
  // template sizes. The help text's width follows the preview's, and its
  // height the list's bottom, so the side is found before the help text's
  // height; a wider help text only ever needs fewer lines.
  const int helpAtDefault = defaultSize_.height - bottomMargin - u.Y(kHelpTop);
  const int listBottomAtLeast = height - bottomMargin - helpAtDefault - (u.Y(kHelpTop) - u.Y(kListBottom));
  const int sideByHeight = listBottomAtLeast - boxToListBottom - boxTop;
  const int side = std::min(std::min(previewWidth, siteWidth) + extraWidth / 3, sideByHeight);
  const int previewBoxWidth = std::max(previewWidth, side);
  const int siteBoxWidth = std::max(siteWidth, side);
  const int boxSide = std::max(boxHeight, side);

  const int siteLeft = width - rightMargin - siteBoxWidth;
  const int columnLeft = siteLeft - gap - previewBoxWidth;
  const int helpWidth = columnLeft + previewBoxWidth - helpLeft;
  const int templateHelp = u.Y(kHelpBottom) - u.Y(kHelpTop);
  const int helpHeight = std::max(templateHelp, helpHeight_ ? helpHeight_(helpWidth) : 0);
  const int helpTop = height - bottomMargin - helpHeight;
  const int listBottom = helpTop - (u.Y(kHelpTop) - u.Y(kListBottom));

  const int listTop = u.Y(kMargin);
  rects[kList] = {u.X(kMargin), listTop, columnLeft - u.X(kMargin), listBottom - listTop};
  if (strip) {
    const int stripLeft = columnLeft - u.X(kStripGap + kStripWidth);
    rects[kQueueStrip] = {stripLeft, listTop, columnLeft - u.X(kStripGap) - stripLeft, listBottom - listTop};
    rects[kList].width = stripLeft - u.X(kStripGap) - rects[kList].left;
  }
  const int hiddenHeight = u.Y(kListBottom) - u.Y(kListBottom - 1);
  rects[kHidden] = {u.X(kMargin), listBottom - hiddenHeight, u.X(kMargin + 1) - u.X(kMargin), hiddenHeight};
  for (const ButtonPlace& button : kButtons) {
    const PixelRect place = u.Rect(button.left, kMargin, button.width, 14);
    rects[button.control] = {columnLeft + place.left - u.X(kColumnLeft), place.top, place.width, place.height};
  }
  const PixelRect status = u.Rect(kColumnLeft, 26, kColumnRight - kColumnLeft, 16);
  rects[kStatus] = {columnLeft, status.top, status.width, status.height};
  rects[kPreview] = {columnLeft, boxTop, previewBoxWidth, boxSide};
  rects[kHelp] = {helpLeft, helpTop, helpWidth, helpHeight};

  const PixelRect caption = u.Rect(kSiteLeft, 30, kSiteRight - kSiteLeft, 12);
  rects[kSiteCaption] = {siteLeft, caption.top, siteBoxWidth, caption.height};
  rects[kSitePicture] = {siteLeft, boxTop, siteBoxWidth, boxSide};
  const int swatchTop = boxTop + boxSide + u.Y(kSwatchTop) - u.Y(kBoxBottom);
  rects[kQuerySwatch] = {siteLeft, swatchTop, swatchSide_, swatchSide_};
  // The caption starts a few units past the swatch's last column.
  const int captionLeft = siteLeft + swatchSide_ - 1 + u.X(3);
  rects[kQuerySwatchCaption] = {captionLeft, swatchTop, siteLeft + siteBoxWidth - captionLeft, swatchSide_};
  return rects;
}
