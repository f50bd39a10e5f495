#pragma once

#include <cstddef>
#include <string>
#include <vector>

class CacheTable;
class ResultListView;

// What both windows do to their result list once a search has listed rows.
class ResultListing {
 public:
  // The verdict's marked entry goes first; the plain rows follow in their
  // order. Nothing changes when `markedRow` is empty.
  static void PutMarkedFirst(ResultListView& list, const std::vector<std::string>& markedRow);
  // Gives each listed row without a swatch the colours of its table entry.
  // `listed` are the table rows the search listed; a row whose id no longer
  // matches its entry (the table was replaced since) gets none.
  static void AddSwatches(ResultListView& list, const CacheTable& table, const std::vector<std::size_t>& listed);
  // The id of the list's first selected row (`row` < 0 for none); empty when none.
  static std::string IdAt(const ResultListView& list, int row);
};
