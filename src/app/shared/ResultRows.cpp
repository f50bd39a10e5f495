#include "app/shared/ResultRows.h"

#include <algorithm>
#include <numeric>

void ResultRows::SetColumns(const std::vector<std::string>& titles) {
  titles_ = titles;
  rows_.clear();
  directions_.assign(titles.size(), 1);
}

bool ResultRows::AppendRow(const std::vector<std::string>& texts) {
  if (texts.size() != titles_.size()) return false;
  rows_.push_back(texts);
  return true;
}

const std::vector<std::string>& ResultRows::Row(int row) const {
  static const std::vector<std::string> kNone;
  if (row < 0 || row >= RowCount()) return kNone;
  return rows_[static_cast<size_t>(row)];
}

int ResultRows::CompareTexts(const std::string& t1, const std::string& t2, int direction) {
  // Compares t2 with t1, so that the first click (direction -1) ascends.
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

std::optional<std::vector<int>> ResultRows::SortByColumn(int column) {
  if (column < 0 || column >= ColumnCount()) return std::nullopt;
  const auto at = static_cast<size_t>(column);
  directions_[at] = -directions_[at];
  const int direction = directions_[at];
  std::vector<int> order(rows_.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return CompareTexts(rows_[static_cast<size_t>(a)][at], rows_[static_cast<size_t>(b)][at], direction) < 0;
  });
  std::vector<int> moved(order.size());
  std::vector<std::vector<std::string>> sorted;
  sorted.reserve(rows_.size());
  for (size_t to = 0; to < order.size(); ++to) {
    moved[static_cast<size_t>(order[to])] = static_cast<int>(to);
    sorted.push_back(std::move(rows_[static_cast<size_t>(order[to])]));
  }
  rows_ = std::move(sorted);
  return moved;
}
