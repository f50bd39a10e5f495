#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/shared/ResultListView.h"
#include "app/shared/ResultRows.h"
#include "app/win/OwnedHandle.h"
#include "app/win/PixelPicture.h"

// The result list: a report-style list view with grid lines and full-row
// single selection over the shared ResultRows (the view asks for what it
// shows; the texts are converted once, when a row comes).
// Texts go in and come out as Shift-JIS bytes. A click on a column header
// sorts by that column's bytes, ascending first and alternating after that,
// each column keeping its own direction; the selection follows its row.
// Column widths are kept in 96-dpi pixels and drawn at the window's density;
// the extra room is shared out (FitColumnWidths), one column fitted to its
// widest text. A cell whose text is cut shows it whole as a tooltip.
// UI thread only.
class ResultList : public ResultListView {
 public:
  ResultList(HWND parent, int id);

  HWND Handle() const { return window_.get(); }
  void SetFont(HFONT font, UINT dpi);

  void SetColumns(const std::vector<std::string>& titles);
  // Appends a row; -1 (nothing added) when the number of texts is not the
  // column count.
  int AddRow(const std::vector<std::string>& texts) override;
  std::vector<std::string> GetRowTexts(int row) const override;
  void DeleteAllItems() override;
  bool SortByColumn(int column);
  int RowCount() const override { return rows_.RowCount(); }
  int ColumnCount() const { return rows_.ColumnCount(); }

  // The row's 3 x 3 colour swatch before its title; an empty picture removes it.
  // A change of font drops every swatch (their size follows the rows').
  void SetRowSwatch(int row, const PixelPicture& swatch);
  bool HasSwatch(int row) const override;
  // The colours as a swatch at the rows' size.
  void ShowSwatch(int row, const ImageCache::Colours& colours) override;
  // The swatch's side the rows have room for, in device pixels.
  int SwatchSide() const { return swatchSide_; }

  int FirstSelectedRow() const;
  void SelectRow(int row);
  // The row under a point in the list's client coordinates; -1 for none.
  int RowAt(POINT client) const;

  void SetColumnWidths(const std::vector<int>& widths);
  const std::vector<int>& ColumnWidths() const { return widths_; }
  void SetFittedColumn(int column);
  // Shares the list's room among the columns again (after a resize).
  void FitColumns();
  bool IsCellCut(int row, int column) const;

  // The list's notifications, from the parent's WM_NOTIFY; true when handled
  // (with the result in *result).
  bool OnNotify(const NMHDR& header, LRESULT* result);

 private:
  // What the view shows of a row besides its bytes, in the rows' order.
  struct Shown {
    std::vector<std::wstring> texts;
    int swatch = -1;  // image index, -1 for none
  };

  int Scaled(int pixels) const { return MulDiv(pixels, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI); }
  int Unscaled(int pixels) const { return MulDiv(pixels, USER_DEFAULT_SCREEN_DPI, static_cast<int>(dpi_)); }
  int CellTextWidth(const std::wstring& text) const;
  int FittedTextWidth() const;
  void ResetImages();
  void Refresh();

  OwnedWindow window_;
  OwnedImageList images_;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  int swatchSide_ = 12;
  ResultRows rows_;
  std::vector<Shown> shownRows_;
  std::vector<int> widths_;  // 96-dpi pixels
  std::vector<int> shown_;   // device pixels, as last fitted
  int fitted_ = -1;
  bool fitting_ = false;
  std::wstring tip_;
};
