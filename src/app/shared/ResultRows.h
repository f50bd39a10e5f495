#pragma once

#include <optional>
#include <string>
#include <vector>

// The result list's content as both windows hold it: column titles and rows
// of Shift-JIS byte cells (shown converted by the window, handed back and
// sorted as bytes), and each column's sort direction. A header click sorts
// by that column, ascending on the first click and alternating after that,
// each column keeping its own alternation. No toolkit; one thread.
class ResultRows {
 public:
  // Replaces the column titles, removes every row and resets every
  // column's direction.
  void SetColumns(const std::vector<std::string>& titles);
  // Appends a row; false, adding nothing, when the number of texts differs
  // from the column count.
  bool AppendRow(const std::vector<std::string>& texts);
  void Clear() { rows_.clear(); }

  int RowCount() const { return static_cast<int>(rows_.size()); }
  int ColumnCount() const { return static_cast<int>(titles_.size()); }
  const std::vector<std::string>& Titles() const { return titles_; }
  // The row's texts in column order; empty when `row` is not a row index.
  const std::vector<std::string>& Row(int row) const;

  // Sorts the rows by the column's bytes in the column's next direction;
  // equal texts keep their relative order. Returns where each row went
  // (`moved[old] == new`) so that a view can carry its own per-row state
  // (icons, selection) along; nothing, changing nothing, for a column that
  // does not exist.
  std::optional<std::vector<int>> SortByColumn(int column);

  // Orders two texts as the sort does with direction `direction`: negative
  // when `t1`'s row comes first. With -1 ascending, with +1 descending.
  // Bytes compare unsigned; the shorter of two texts that agree up to its
  // end is the smaller.
  static int CompareTexts(const std::string& t1, const std::string& t2, int direction);

 private:
  std::vector<std::string> titles_;
  std::vector<std::vector<std::string>> rows_;
  std::vector<int> directions_;  // the last sort's direction per column; +1 before the first
};
