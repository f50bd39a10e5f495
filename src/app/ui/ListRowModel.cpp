#include "app/ui/ListRowModel.h"

#include "infra/TextEncoding.h"

namespace {

QString Display(const std::string& bytes) { return QString::fromStdString(Cp932ToUtf8(bytes)); }

}  // namespace

ListRowModel::ListRowModel(QObject* parent) : QAbstractTableModel(parent) {}

void ListRowModel::SetColumns(const std::vector<std::string>& titles) {
  beginResetModel();
  rows_.SetColumns(titles);
  shown_.clear();
  displayTitles_.clear();
  for (const std::string& title : titles) displayTitles_.push_back(Display(title));
  endResetModel();
}

bool ListRowModel::AppendRow(const std::vector<std::string>& texts) {
  if (static_cast<int>(texts.size()) != ColumnCount()) return false;
  Shown shown;
  for (const std::string& text : texts) shown.texts.push_back(Display(text));
  const int at = RowCount();
  beginInsertRows(QModelIndex(), at, at);
  rows_.AppendRow(texts);
  shown_.push_back(std::move(shown));
  endInsertRows();
  return true;
}

void ListRowModel::RemoveAllRows() {
  if (RowCount() == 0) return;
  beginRemoveRows(QModelIndex(), 0, RowCount() - 1);
  rows_.Clear();
  shown_.clear();
  endRemoveRows();
}

void ListRowModel::SetRowIcon(int row, const QIcon& icon) {
  if (row < 0 || row >= RowCount() || ColumnCount() == 0) return;
  shown_[static_cast<size_t>(row)].icon = icon;
  const QModelIndex cell = index(row, 0);
  emit dataChanged(cell, cell, {Qt::DecorationRole});
}

bool ListRowModel::SortByColumn(int column) {
  if (column < 0 || column >= ColumnCount()) return false;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const std::vector<int> moved = *rows_.SortByColumn(column);
  std::vector<Shown> reordered(shown_.size());
  for (size_t from = 0; from < moved.size(); ++from) reordered[static_cast<size_t>(moved[from])] = std::move(shown_[from]);
  shown_ = std::move(reordered);
  const QModelIndexList before = persistentIndexList();
  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& index : before) after.push_back(this->index(moved[static_cast<size_t>(index.row())], index.column()));
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
  return true;
}

int ListRowModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : RowCount(); }

int ListRowModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount();
}

QVariant ListRowModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= RowCount() || index.column() >= ColumnCount()) return {};
  const Shown& shown = shown_[static_cast<size_t>(index.row())];
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return shown.texts[index.column()];
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  if (role == Qt::DecorationRole && index.column() == 0 && !shown.icon.isNull()) return shown.icon;
  return {};
}

QVariant ListRowModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount()) return {};
  if (role == Qt::DisplayRole) return displayTitles_[section];
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}
