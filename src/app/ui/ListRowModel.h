#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <algorithm>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

// The rows of the result list: each cell keeps its Shift-JIS bytes (what the
// list hands back and sorts on) beside the converted text that is displayed.
// UI thread only.
class ListRowModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit ListRowModel(QObject* parent = nullptr);

  // Replaces the column titles and removes every row.
  void SetColumns(const std::vector<std::string>& titles);
  // Appends a row; REQUIRES: texts.size() == ColumnCount().
  void AppendRow(const std::vector<std::string>& texts);
  void RemoveAllRows();
  // Shows `icon` before the first column's text of `row` (it follows the row
  // when sorted); a null icon removes it. Nothing for a row that does not exist.
  void SetRowIcon(int row, const QIcon& icon);

  int RowCount() const { return static_cast<int>(rows_.size()); }
  int ColumnCount() const { return static_cast<int>(titles_.size()); }
  // REQUIRES: 0 <= row < RowCount().
  const std::vector<std::string>& RowBytes(int row) const { return rows_[row].bytes; }

  // Reorders the rows so that `before(a, b)` holds for every adjacent pair it
  // decides; equal rows keep their order. Persistent indexes (the selection
  // among them) follow their rows.
  template <typename Before>
  void ReorderRows(Before before);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 private:
  struct Row {
    std::vector<std::string> bytes;
    QStringList display;
    QIcon icon;
  };

  void ApplyOrder(const std::vector<int>& order);

  std::vector<std::string> titles_;
  QStringList displayTitles_;
  std::vector<Row> rows_;
};

template <typename Before>
void ListRowModel::ReorderRows(Before before) {
  std::vector<int> order(rows_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return before(rows_[a].bytes, rows_[b].bytes); });
  ApplyOrder(order);
}
