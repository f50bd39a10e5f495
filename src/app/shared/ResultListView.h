#pragma once

#include <string>
#include <vector>

#include "imaging/ImageCache.h"

// The result list as the shared window code sees it; each window's list
// implements it with its toolkit's widget. Texts are Shift-JIS bytes. UI
// thread only.
class ResultListView {
 public:
  virtual ~ResultListView() = default;

  virtual int RowCount() const = 0;
  // The row's texts in column order; empty for a bad index.
  virtual std::vector<std::string> GetRowTexts(int row) const = 0;
  virtual void DeleteAllItems() = 0;
  // Returns the new row's index, or -1 (nothing added) on a wrong width.
  virtual int AddRow(const std::vector<std::string>& texts) = 0;
  virtual bool HasSwatch(int row) const = 0;
  // Shows the 3 x 3 colours as the row's swatch, at the list's own size.
  virtual void ShowSwatch(int row, const ImageCache::Colours& colours) = 0;
};
