#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "app/shared/ResultRows.h"

// The result list's rows for the table view: the shared rows (Shift-JIS
// bytes, what the list hands back and sorts on) beside their converted
// display texts and icons, which follow their rows when sorted. UI thread only.
class ListRowModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit ListRowModel(QObject* parent = nullptr);

  // Replaces the column titles, removes every row and resets the sort
  // directions.
  void SetColumns(const std::vector<std::string>& titles);
  // Appends a row; false, adding nothing, when the width differs.
  bool AppendRow(const std::vector<std::string>& texts);
  void RemoveAllRows();
  // Shows `icon` before the first column's text of `row`; a null icon
  // removes it. Nothing for a row that does not exist.
  void SetRowIcon(int row, const QIcon& icon);
  // Sorts as ResultRows::SortByColumn does; persistent indexes (the
  // selection among them) follow their rows. False for no such column.
  bool SortByColumn(int column);

  int RowCount() const { return rows_.RowCount(); }
  int ColumnCount() const { return rows_.ColumnCount(); }
  // Empty when `row` is not a row index.
  const std::vector<std::string>& RowBytes(int row) const { return rows_.Row(row); }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 private:
  struct Shown {
    QStringList texts;
    QIcon icon;
  };

  ResultRows rows_;
  QStringList displayTitles_;
  std::vector<Shown> shown_;  // parallel to rows_
};
