#include "search/ReferenceSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "search/SQLite.h"

namespace {

std::int32_t TextToValue(const char* text) {
  if (text == nullptr) return 0;
  const long long value = std::strtoll(text, nullptr, 10);
  return static_cast<std::int32_t>(std::clamp<long long>(value, std::numeric_limits<std::int32_t>::min(),
                                                         std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

std::vector<ImageCache::Colours> ReadSignaturesAsText(const std::string& path) {
  SQLite db;
  EXPECT_EQ(0, db.Open(path));
  char** table = nullptr;
  int rows = 0;
  int columns = 0;
  EXPECT_EQ(0, db.GetTable("select * from TintwiseCache;", &table, &rows, &columns)) << db.LastError();
  std::vector<ImageCache::Colours> signatures(static_cast<size_t>(rows));
  for (int r = 1; r <= rows; ++r) {
    for (int v = 0; v < ImageCache::kValueCount; ++v) {
      signatures[static_cast<size_t>(r - 1)][static_cast<size_t>(v)] = TextToValue(table[r * columns + 6 + v]);
    }
  }
  db.FreeTable(table);
  return signatures;
}

std::vector<SearchHit> ReferenceRank(const std::vector<ImageCache::Colours>& rows, const ImageCache::Colours& query,
                                     size_t hitCount) {
  std::vector<SearchHit> ranked;
  for (size_t r = 0; r < rows.size(); ++r) {
    std::int64_t difference = 0;
    for (int v = 0; v < ImageCache::kValueCount; ++v) {
      difference += std::llabs(std::int64_t{rows[r][static_cast<size_t>(v)]} - query[static_cast<size_t>(v)]);
    }
    if (ranked.size() == hitCount && difference >= ranked.back().difference) continue;
    auto at = std::find_if(ranked.begin(), ranked.end(), [&](const SearchHit& h) { return h.difference > difference; });
    ranked.insert(at, SearchHit{r, difference});
    if (ranked.size() > hitCount) ranked.pop_back();
  }
  return ranked;
}
