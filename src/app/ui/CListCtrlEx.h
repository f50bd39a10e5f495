#pragma once

#include <QIcon>
#include <QTableView>
#include <string>
#include <vector>

#include "app/shared/ResultListView.h"

class ListRowModel;

// The result list: a report-style list with grid lines, full-row single
// selection and a table layer over it. Texts go in and come out as Shift-JIS
// bytes and are shown converted. A click on a column header sorts by that
// column, ascending on the first click and alternating after that, each
// column keeping its own alternation. UI thread only.
class CListCtrlEx : public QTableView, public ResultListView {
  Q_OBJECT

 public:
  explicit CListCtrlEx(QWidget* parent = nullptr);
  ~CListCtrlEx() override;

  // Replaces all columns (titles in column order), removes all rows and
  // resets every column's direction.
  void SetColumns(const std::vector<std::string>& titles);
  // Appends a row; returns its index, or -1 (nothing added) when the number
  // of texts differs from the column count.
  int AddRow(const std::vector<std::string>& texts) override;
  // The row's texts in column order; empty when `row` is not a row index.
  std::vector<std::string> GetRowTexts(int row) const override;
  // Sorts the rows by the column's bytes in the column's next direction
  // (see ResultRows::SortByColumn); false, changing nothing, for a column
  // that does not exist.
  bool SortByColumn(int column);
  void DeleteAllItems() override;
  // Shows `swatch` as the row's icon, before its title; a null icon removes it.
  void SetRowSwatch(int row, const QIcon& swatch);
  // The row's icon as drawn at the list's icon size and pixel ratio, or a null image.
  QImage RowSwatch(int row) const;
  bool HasSwatch(int row) const override { return !RowSwatch(row).isNull(); }
  void ShowSwatch(int row, const ImageCache::Colours& colours) override;

  int RowCount() const override;
  int ColumnCount() const;
  // The first selected row, or -1 when none is selected.
  int FirstSelectedRow() const;
  // The columns' own widths in pixels, in column order; extra room in the
  // list is shared among them (see FitColumnWidths), and a border dragged
  // by the user changes them. A column beyond the list's keeps its width.
  void SetColumnWidths(const std::vector<int>& widths);
  const std::vector<int>& ColumnWidths() const { return widths_; }
  void SetColumnWidth(int column, int pixels);
  // The column made at least as wide as its widest text (header included)
  // whenever rows change; -1 for none.
  void SetFittedColumn(int column);
  // Whether the cell's text (and icon) needs more width than its column has;
  // such a cell shows its whole text as a tooltip.
  bool IsCellCut(int row, int column) const;

 signals:
  // Any double click inside the list, on a row or not.
  void DoubleClicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool viewportEvent(QEvent* event) override;

 private:
  int TextWidth(int column) const;
  void FitColumns();
  void OnSectionResized(int column, int oldWidth, int newWidth);

  ListRowModel* rows_;  // owned through the QObject tree
  std::vector<int> widths_;
  int fitted_ = -1;
  bool fitting_ = false;
};
