#include "app/ui/ListRowModel.h"

#include "infra/TextEncoding.h"

namespace {

QString Display(const std::string& bytes) { return QString::fromStdString(Cp932ToUtf8(bytes)); }

}  // namespace

ListRowModel::ListRowModel(QObject* parent) : QAbstractTableModel(parent) {}

void ListRowModel::SetColumns(const std::vector<std::string>& titles) {
  beginResetModel();
  rows_.clear();
  titles_ = titles;
  displayTitles_.clear();
  for (const std::string& title : titles_) displayTitles_.push_back(Display(title));
  endResetModel();
}

void ListRowModel::AppendRow(const std::vector<std::string>& texts) {
  Row row;
  row.bytes = texts;
  for (const std::string& text : texts) row.display.push_back(Display(text));
  const int at = RowCount();
  beginInsertRows(QModelIndex(), at, at);
  rows_.push_back(std::move(row));
  endInsertRows();
}

void ListRowModel::RemoveAllRows() {
  if (rows_.empty()) return;
  beginRemoveRows(QModelIndex(), 0, RowCount() - 1);
  rows_.clear();
  endRemoveRows();
}

void ListRowModel::SetRowIcon(int row, const QIcon& icon) {
  if (row < 0 || row >= RowCount() || ColumnCount() == 0) return;
  rows_[row].icon = icon;
  const QModelIndex cell = index(row, 0);
  emit dataChanged(cell, cell, {Qt::DecorationRole});
}

void ListRowModel::ApplyOrder(const std::vector<int>& order) {
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  std::vector<int> newPlace(order.size());
  std::vector<Row> reordered;
  reordered.reserve(order.size());
  for (size_t to = 0; to < order.size(); ++to) {
    newPlace[order[to]] = static_cast<int>(to);
    reordered.push_back(std::move(rows_[order[to]]));
  }
  rows_ = std::move(reordered);
  const QModelIndexList before = persistentIndexList();
  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& index : before) after.push_back(this->index(newPlace[index.row()], index.column()));
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int ListRowModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : RowCount(); }

int ListRowModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount();
}

QVariant ListRowModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= RowCount() || index.column() >= ColumnCount()) return {};
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return rows_[index.row()].display[index.column()];
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  if (role == Qt::DecorationRole && index.column() == 0 && !rows_[index.row()].icon.isNull())
    return rows_[index.row()].icon;
  return {};
}

QVariant ListRowModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount()) return {};
  if (role == Qt::DisplayRole) return displayTitles_[section];
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}
