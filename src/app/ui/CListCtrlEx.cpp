#include "app/ui/CListCtrlEx.h"

#include <QHeaderView>
#include <QMouseEvent>

#include "app/ui/ListRowModel.h"

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
}

CListCtrlEx::~CListCtrlEx() = default;

void CListCtrlEx::SetColumns(const std::vector<std::string>& titles) {
  rows_->SetColumns(titles);
  directions_.assign(titles.size(), 1);
}

int CListCtrlEx::AddRow(const std::vector<std::string>& texts) {
  if (static_cast<int>(texts.size()) != ColumnCount()) return -1;
  const int row = RowCount();
  rows_->AppendRow(texts);
  return row;
}

std::vector<std::string> CListCtrlEx::GetRowTexts(int row) const {
  if (row < 0 || row >= RowCount()) return {};
  return rows_->RowBytes(row);
}

int CListCtrlEx::CompareRows(const std::string& t1, const std::string& t2, int direction) {
  // Compares t2 with t1 as unsigned bytes; the shorter of two texts that
  // agree up to its end is the smaller.
  const size_t common = std::min(t1.size(), t2.size());
  int r = 0;
  for (size_t i = 0; i < common && r == 0; ++i) {
    const auto b1 = static_cast<unsigned char>(t1[i]);
    const auto b2 = static_cast<unsigned char>(t2[i]);
    if (b2 != b1) r = b2 < b1 ? -1 : 1;
  }
  if (r == 0 && t1.size() != t2.size()) r = t2.size() < t1.size() ? -1 : 1;
  return r * direction;
}

bool CListCtrlEx::SortByColumn(int column) {
  if (column < 0 || column >= ColumnCount()) return false;
  directions_[column] = -directions_[column];
  const int direction = directions_[column];
  rows_->ReorderRows([&](const std::vector<std::string>& a, const std::vector<std::string>& b) {
    return CompareRows(a[column], b[column], direction) < 0;
  });
  return true;
}

void CListCtrlEx::DeleteAllItems() { rows_->RemoveAllRows(); }

void CListCtrlEx::SetRowSwatch(int row, const QImage& swatch) {
  rows_->SetRowIcon(row, swatch.isNull() ? QIcon() : QIcon(QPixmap::fromImage(swatch)));
}

QImage CListCtrlEx::RowSwatch(int row) const {
  const QVariant icon = rows_->data(rows_->index(row, 0), Qt::DecorationRole);
  if (!icon.isValid()) return {};
  return icon.value<QIcon>().pixmap(iconSize()).toImage();
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
