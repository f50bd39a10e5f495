#include "app/shared/ResultListing.h"

#include <string_view>
#include <unordered_map>

#include "app/shared/ResultColumns.h"
#include "app/shared/ResultListView.h"
#include "search/CacheTable.h"

void ResultListing::PutMarkedFirst(ResultListView& list, const std::vector<std::string>& markedRow) {
  if (markedRow.empty()) return;
  std::vector<std::vector<std::string>> rows;
  for (int row = 0; row < list.RowCount(); ++row) rows.push_back(list.GetRowTexts(row));
  list.DeleteAllItems();
  list.AddRow(markedRow);
  for (const auto& row : rows) list.AddRow(row);
}

void ResultListing::AddSwatches(ResultListView& list, const CacheTable& table, const std::vector<std::size_t>& listed) {
  std::unordered_map<std::string_view, std::size_t> stored;
  for (const std::size_t entry : listed) {
    if (entry < table.RowCount()) stored.emplace(table.Id(entry), entry);
  }
  for (int row = 0; row < list.RowCount(); ++row) {
    if (list.HasSwatch(row)) continue;
    const std::string id = ResultColumns::IdOf(list.GetRowTexts(row));
    if (id.empty()) continue;
    const auto found = stored.find(id);
    if (found != stored.end()) list.ShowSwatch(row, table.Signature(found->second));
  }
}

std::string ResultListing::IdAt(const ResultListView& list, int row) {
  return row >= 0 ? ResultColumns::IdOf(list.GetRowTexts(row)) : std::string();
}
