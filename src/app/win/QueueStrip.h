#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/win/OwnedHandle.h"
#include "app/win/PixelPicture.h"
#include "control/PictureQueue.h"

// The queue's strip: an owner-drawn list box of the queued pictures, one
// under the other, each a thumbnail framed in its mark's colour above the
// entry's label on two lines: its verdict, then its confirmation's state
// (the picture's name as given stays at hand: NameAt). The
// parent hands it WM_DRAWITEM and learns of a selection by LBN_SELCHANGE.
// UI thread only.
class QueueStrip {
 public:
  QueueStrip(HWND parent, int id);

  HWND Handle() const { return window_.get(); }
  // The label's font and the density the entries are measured for.
  void SetFont(HFONT font, UINT dpi);
  // Measures the entries again for the strip's width (after a resize).
  void Fit();

  // One waiting entry, without a thumbnail, per name (UTF-8).
  void SetEntries(const std::vector<std::string>& names);
  int Count() const { return static_cast<int>(entries_.size()); }
  // An empty picture leaves the entry's frame empty; drawn to fit.
  void SetThumbnail(int index, PixelPicture thumbnail);
  // `label` (Shift-JIS): PictureQueue::LabelOf the entry.
  void SetMark(int index, PictureQueue::Mark mark, const std::string& label);
  PictureQueue::Mark MarkAt(int index) const;
  const std::string& NameAt(int index) const;
  // The entry's label as its lines are drawn at the strip's width.
  std::vector<std::wstring> LabelLines(int index) const;
  bool HasThumbnail(int index) const;
  // The selected entry, -1 for none; Select tells the parent nothing.
  int Selected() const;
  void Select(int index);

  // The parent's WM_DRAWITEM for this control; true when it was drawn.
  bool OnDrawItem(const DRAWITEMSTRUCT& item) const;

 private:
  struct Entry {
    std::string name;
    PixelPicture thumbnail;
    PictureQueue::Mark mark = PictureQueue::Mark::kWaiting;
    std::string label;
  };
  void Redraw(int index) const;
  // The width a label's lines are broken at: an entry's less its margins.
  int LabelWidth() const;

  OwnedWindow window_;
  HFONT font_ = nullptr;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  std::vector<Entry> entries_;
  int labelLines_ = 2;  // the lines each entry has room for under its thumbnail
};
