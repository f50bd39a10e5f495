// A "cache.db" of any content, as a user's disk or the cache server may hold
// it: the check made before a downloaded copy is put in place, the loading of
// the cache table, and a search over what was loaded.
#include <cstdint>
#include <cstdio>
#include <string>

#include "FuzzSupport.h"
#include "control/CacheDownloader.h"
#include "infra/InternetSession.h"
#include "search/CacheTable.h"
#include "control/Control.h"
#include "control/ControlView.h"
#include "search/SimilaritySearch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string directory = FuzzProgramDirectory();
  static NullView view;
  static Control control(view, std::make_shared<InternetSession>("Tintwise"));
  control.ReleaseDatabase();
  // A journal or write-ahead log left by the previous input would be applied
  // to this one.
  for (const char* leftover : {"cache.db-journal", "cache.db-wal", "cache.db-shm"}) {
    std::remove((directory + leftover).c_str());
  }
  WriteFuzzFile(directory + "cache.db", AsText(data, size));

  (void)CacheDownloader::IsCacheDatabase(directory + "cache.db");
  if (!control.OpenDatabase()) {
    FUZZ_CHECK(control.Table() == nullptr);
    return 0;
  }
  const CacheTable& table = *control.Table();
  ImageCache::Colours query{};
  for (std::size_t v = 0; v < query.size(); ++v) query[v] = static_cast<std::int32_t>(v * 9);
  const auto hits = SimilaritySearch().Run(table, query);
  FUZZ_CHECK(hits == SimilaritySearch(SimilaritySearch::Kernel::kScalar).Run(table, query));
  FUZZ_CHECK(hits.size() <= SimilaritySearch::kHitCount && hits.size() <= table.RowCount());
  for (const SearchHit& hit : hits) {
    FUZZ_CHECK(hit.row < table.RowCount());
    FUZZ_CHECK(table.Id(hit.row).size() + table.Title(hit.row).size() + table.Name(hit.row).size() <=
               table.TextBytes());
  }
  return 0;
}
