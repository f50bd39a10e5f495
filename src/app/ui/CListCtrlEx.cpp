#include "app/ui/CListCtrlEx.h"

#include <QHelpEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolTip>

#include "app/shared/ColumnFit.h"
#include "app/ui/ListRowModel.h"
#include "app/ui/Swatch.h"

CListCtrlEx::CListCtrlEx(QWidget* parent) : QTableView(parent), rows_(new ListRowModel(this)) {
  setModel(rows_);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setShowGrid(true);
  setWordWrap(false);
  setTextElideMode(Qt::ElideRight);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setTabKeyNavigation(false);
  setCornerButtonEnabled(false);
  verticalHeader()->hide();

  // Compact rows, as a report list has, rather than the roomy table default.
  const int rowHeight = fontMetrics().height() + 4;
  verticalHeader()->setMinimumSectionSize(rowHeight);
  verticalHeader()->setDefaultSectionSize(rowHeight);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  // A row's colour swatch (3 x 3 cells) fits its height.
  const int swatchSide = (rowHeight - 4) / 3 * 3;
  setIconSize(QSize(swatchSide, swatchSide));

  QHeaderView* header = horizontalHeader();
  header->setSectionsClickable(true);
  header->setSectionsMovable(false);
  header->setHighlightSections(false);
  header->setStretchLastSection(false);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->setSortIndicatorShown(false);
  header->setMinimumSectionSize(0);
  header->setFixedHeight(fontMetrics().height() + 8);
  connect(header, &QHeaderView::sectionClicked, this, [this](int column) { SortByColumn(column); });
  connect(header, &QHeaderView::sectionResized, this, &CListCtrlEx::OnSectionResized);
  // New texts may need a wider fitted column.
  connect(rows_, &QAbstractItemModel::rowsInserted, this, &CListCtrlEx::FitColumns);
  connect(rows_, &QAbstractItemModel::modelReset, this, &CListCtrlEx::FitColumns);
}

void CListCtrlEx::SetColumnWidths(const std::vector<int>& widths) {
  widths_ = widths;
  FitColumns();
}

void CListCtrlEx::SetColumnWidth(int column, int pixels) {
  if (column < 0) return;
  if (static_cast<size_t>(column) >= widths_.size()) widths_.resize(column + 1, 0);
  widths_[column] = pixels;
  FitColumns();
}

void CListCtrlEx::SetFittedColumn(int column) {
  fitted_ = column;
  FitColumns();
}

int CListCtrlEx::TextWidth(int column) const {
  if (column < 0 || column >= ColumnCount()) return 0;
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  int widest = horizontalHeader()->sectionSizeHint(column);
  for (int row = 0; row < RowCount(); ++row) {
    const QModelIndex index = rows_->index(row, column);
    widest = std::max(widest, itemDelegateForIndex(index)->sizeHint(option, index).width());
  }
  // The grid line takes a pixel of the column.
  return widest + (showGrid() ? 1 : 0);
}

bool CListCtrlEx::IsCellCut(int row, int column) const {
  if (row < 0 || row >= RowCount() || column < 0 || column >= ColumnCount()) return false;
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  const QModelIndex index = rows_->index(row, column);
  const int needed = itemDelegateForIndex(index)->sizeHint(option, index).width() + (showGrid() ? 1 : 0);
  return needed > columnWidth(column);
}

void CListCtrlEx::FitColumns() {
  const int count = std::min(ColumnCount(), static_cast<int>(widths_.size()));
  if (count == 0) return;
  std::vector<int> own(widths_.begin(), widths_.begin() + count);
  const std::vector<int> fitted = FitColumnWidths(own, fitted_ < count ? fitted_ : -1, TextWidth(fitted_),
                                                  viewport()->width());
  fitting_ = true;
  for (int column = 0; column < count; ++column) setColumnWidth(column, fitted[column]);
  fitting_ = false;
}

void CListCtrlEx::OnSectionResized(int column, int oldWidth, int newWidth) {
  if (fitting_ || column < 0 || static_cast<size_t>(column) >= widths_.size()) return;
  // Dragged by the user: the width it had beyond its own is given back.
  widths_[column] = ColumnWidthToKeep(widths_[column], oldWidth, newWidth);
}

void CListCtrlEx::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  FitColumns();
}

bool CListCtrlEx::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    if (index.isValid() && IsCellCut(index.row(), index.column())) {
      QToolTip::showText(help->globalPos(), index.data(Qt::DisplayRole).toString(), viewport(), visualRect(index));
    } else {
      QToolTip::hideText();
      event->ignore();
    }
    return true;
  }
  return QTableView::viewportEvent(event);
}

CListCtrlEx::~CListCtrlEx() = default;

void CListCtrlEx::SetColumns(const std::vector<std::string>& titles) { rows_->SetColumns(titles); }

int CListCtrlEx::AddRow(const std::vector<std::string>& texts) {
  const int row = RowCount();
  return rows_->AppendRow(texts) ? row : -1;
}

std::vector<std::string> CListCtrlEx::GetRowTexts(int row) const { return rows_->RowBytes(row); }

bool CListCtrlEx::SortByColumn(int column) { return rows_->SortByColumn(column); }

void CListCtrlEx::DeleteAllItems() { rows_->RemoveAllRows(); }

void CListCtrlEx::SetRowSwatch(int row, const QIcon& swatch) { rows_->SetRowIcon(row, swatch); }

void CListCtrlEx::ShowSwatch(int row, const ImageCache::Colours& colours) { SetRowSwatch(row, SwatchIcon(colours)); }

QImage CListCtrlEx::RowSwatch(int row) const {
  const QVariant icon = rows_->data(rows_->index(row, 0), Qt::DecorationRole);
  if (!icon.isValid()) return {};
  return icon.value<QIcon>().pixmap(iconSize(), devicePixelRatioF()).toImage();
}

int CListCtrlEx::RowCount() const { return rows_->RowCount(); }

int CListCtrlEx::ColumnCount() const { return rows_->ColumnCount(); }

int CListCtrlEx::FirstSelectedRow() const {
  int first = -1;
  for (const QModelIndex& index : selectionModel()->selectedRows()) {
    if (first < 0 || index.row() < first) first = index.row();
  }
  return first;
}

void CListCtrlEx::mousePressEvent(QMouseEvent* event) {
  // A click on the empty part of the list clears the selection, so that a
  // double click there opens nothing.
  if (!indexAt(event->position().toPoint()).isValid()) clearSelection();
  QTableView::mousePressEvent(event);
}

void CListCtrlEx::mouseDoubleClickEvent(QMouseEvent* event) {
  QTableView::mouseDoubleClickEvent(event);
  if (event->button() == Qt::LeftButton) emit DoubleClicked();
}
