// Loading and searching the cache table at scale, against the plain reading
// (the whole table held as the library's text array, 27 text-to-integer
// conversions per row at every search) and against two floors: one pass over
// the packed signature bytes, and the sqlite3 shell printing the table.
//
// The database is generated once and kept: TINTWISE_BENCH_ROWS rows (default
// 1,000,000) in TINTWISE_BENCH_DIR (default /tmp/tintwise-bench).
// bench/search_bench.sh runs this and prints the ratios.
#include <benchmark/benchmark.h>
#include <immintrin.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "infra/Environment.h"
#include "search/CacheLoader.h"
#include "search/CacheTable.h"
#include "control/Control.h"
#include "control/ControlView.h"
#include "search/SQLite.h"
#include "search/MatchSearch.h"
#include "search/SimilaritySearch.h"
#include "search/SyntheticCache.h"

namespace {

std::size_t BenchRows() {
  const char* rows = std::getenv("TINTWISE_BENCH_ROWS");
  return rows != nullptr ? std::strtoull(rows, nullptr, 10) : 1000000;
}

std::string BenchDir() {
  const char* dir = std::getenv("TINTWISE_BENCH_DIR");
  return dir != nullptr ? dir : "/tmp/tintwise-bench";
}

// The directory holding "cache.db" of BenchRows() rows, made on first use.
const std::string& CacheDir() {
  static const std::string dir = [] {
    const std::string base = BenchDir();
    const std::string d = base + "/rows-" + std::to_string(BenchRows()) + "/";
    ::mkdir(base.c_str(), 0755);
    ::mkdir(d.c_str(), 0755);
    const std::string path = d + "cache.db";
    if (::access(path.c_str(), R_OK) != 0) {
      std::fprintf(stderr, "generating %zu rows into %s\n", BenchRows(), path.c_str());
      SyntheticCacheOptions options;
      options.rows = BenchRows();
      const std::string partial = path + ".part";
      std::string error;
      if (!WriteSyntheticCache(partial, options, &error) || std::rename(partial.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "cannot generate %s: %s\n", path.c_str(), error.c_str());
        std::exit(1);
      }
    }
    return d;
  }();
  return dir;
}

std::string CachePath() { return CacheDir() + "cache.db"; }

std::unique_ptr<CacheTable> LoadPacked() {
  SQLite db;
  db.Open(CachePath());
  auto table = std::make_unique<CacheTable>();
  CacheLoader loader(db.Handle());
  if (loader.Load("TintwiseCache", *table) != 0) return nullptr;
  return table;
}

const CacheTable& PackedTable() {
  static const std::unique_ptr<CacheTable> table = LoadPacked();
  return *table;
}

// A query that is a plausible picture but not in the table.
ImageCache::Colours Query() {
  ImageCache::Colours query;
  for (std::size_t v = 0; v < query.size(); ++v) query[v] = static_cast<std::int32_t>((v * 37 + 11) % 256);
  return query;
}

// --- The plain reading --------------------------------------------------------

struct TextTable {
  SQLite db;
  char** values = nullptr;
  int rows = 0;
  int columns = 0;
  int code = 0;
  ~TextTable() {
    if (values != nullptr) db.FreeTable(values);
  }
};

// sqlite3_get_table keeps every value of the table in one array of pointers;
// above about 4.4 million rows of 34 columns that array passes the library's
// 2 GiB allocation limit and the read fails.
constexpr std::size_t kTextTableRowLimit = 4000000;

std::unique_ptr<TextTable> LoadTextTable() {
  auto table = std::make_unique<TextTable>();
  table->db.Open(CachePath());
  table->code = table->db.GetTable("select * from TintwiseCache;", &table->values, &table->rows, &table->columns);
  return table;
}

// The search as the plain reading does it: per row 27 text conversions, the
// difference, at most one insertion into the ranked list, progress every 1000.
std::size_t SearchTextTable(const TextTable& table, const ImageCache::Colours& query) {
  struct Hit {
    int row;
    std::int64_t difference;
  };
  std::vector<Hit> ranked;
  std::size_t progress = 0;
  for (int r = 1; r <= table.rows; ++r) {
    const char* const* row = table.values + static_cast<std::size_t>(r) * static_cast<std::size_t>(table.columns);
    std::int64_t difference = 0;
    for (int v = 0; v < 27; ++v) {
      const char* text = row[6 + v];
      const std::int64_t value = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
      const std::int64_t d = value - query[static_cast<std::size_t>(v)];
      difference += d < 0 ? -d : d;
    }
    if (ranked.size() < 20 || difference < ranked.back().difference) {
      auto at = ranked.begin();
      while (at != ranked.end() && at->difference <= difference) ++at;
      ranked.insert(at, Hit{r, difference});
      if (ranked.size() > 20) ranked.pop_back();
    }
    if (r % 1000 == 0) benchmark::DoNotOptimize(++progress);
  }
  return ranked.size();
}

// --- Benchmarks -----------------------------------------------------------------

void SetRowCounters(benchmark::State& state, std::size_t rows) {
  state.counters["rows"] = static_cast<double>(rows);
}

void BM_LoadPacked(benchmark::State& state) {
  CacheDir();
  for (auto _ : state) {
    std::unique_ptr<CacheTable> table = LoadPacked();
    if (!table) {
      state.SkipWithError("load failed");
      return;
    }
    SetRowCounters(state, table->RowCount());
    state.counters["bytes_per_row_beyond_text"] =
        double(table->MemoryBytes() - table->TextBytes()) / double(table->RowCount());
    state.counters["text_bytes_per_row"] = double(table->TextBytes()) / double(table->RowCount());
  }
}
BENCHMARK(BM_LoadPacked)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

void BM_LoadTextTable(benchmark::State& state) {
  if (BenchRows() > kTextTableRowLimit) {
    state.SkipWithError("the text array cannot hold this many rows");
    return;
  }
  for (auto _ : state) {
    std::unique_ptr<TextTable> table = LoadTextTable();
    if (table->code != 0) {
      state.SkipWithError(table->db.LastError().c_str());
      return;
    }
    SetRowCounters(state, static_cast<std::size_t>(table->rows));
  }
}
BENCHMARK(BM_LoadTextTable)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

double ChildrenCpuMs() {
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  const auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// The sqlite3 command-line shell printing the whole table, for scale. Its
// processor time (user + system) is the child_cpu_ms counter, comparable
// with the CPU column of the in-process loads when the machine is busy.
void BM_ShellPrintsTable(benchmark::State& state) {
  const std::string command = "sqlite3 '" + CachePath() + "' 'select * from TintwiseCache' > /dev/null";
  const double before = ChildrenCpuMs();
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("sqlite3 shell failed");
      return;
    }
  }
  state.counters["child_cpu_ms"] = (ChildrenCpuMs() - before) / double(state.iterations());
}
BENCHMARK(BM_ShellPrintsTable)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

void BM_SearchTextTable(benchmark::State& state) {
  if (BenchRows() > kTextTableRowLimit) {
    state.SkipWithError("the text array cannot hold this many rows");
    return;
  }
  static const std::unique_ptr<TextTable> table = LoadTextTable();
  const ImageCache::Colours query = Query();
  for (auto _ : state) benchmark::DoNotOptimize(SearchTextTable(*table, query));
  SetRowCounters(state, static_cast<std::size_t>(table->rows));
}
BENCHMARK(BM_SearchTextTable)->Unit(benchmark::kMillisecond);

void BM_SearchPacked(benchmark::State& state) {
  const auto kernel = static_cast<SimilaritySearch::Kernel>(state.range(0));
  if (!SimilaritySearch::Supports(kernel)) {
    state.SkipWithError("not supported by this processor");
    return;
  }
  const CacheTable& table = PackedTable();
  const ImageCache::Colours query = Query();
  const SimilaritySearch search(kernel);
  std::size_t reports = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(search.Run(table, query, [&](std::size_t) { ++reports; }));
  }
  SetRowCounters(state, table.RowCount());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * table.RowCount() * CacheTable::kByteStride));
}
BENCHMARK(BM_SearchPacked)
    ->ArgName("kernel")
    ->Arg(static_cast<int>(SimilaritySearch::Kernel::kAuto))
    ->Arg(static_cast<int>(SimilaritySearch::Kernel::kSse2))
    ->Arg(static_cast<int>(SimilaritySearch::Kernel::kScalar))
    ->Unit(benchmark::kMillisecond);

// Every comparison of the verdict in one pass (MatchSearch): range(0) 0 is a
// colour query with the default comparisons, 1 a gray query (the luminance
// comparison runs too), 2 a gray query with all eleven comparisons, 3 the
// colour query without the reframed comparison (what its refinement costs),
// 4 the gray query of 1 on the AVX2 kernel without the byte dot product (as
// processors without AVX-VNNI run it). range(1): the threads it uses, busy
// machine or not. Wall
// time is the figure (the threads' shares overlap); processor time counts
// every thread of the process.
void BM_MatchSearch(benchmark::State& state) {
  const CacheTable& table = PackedTable();
  ImageCache::Colours query = Query();
  if (state.range(0) == 1 || state.range(0) == 2 || state.range(0) == 4) {
    for (int k = 0; k < 9; ++k) query[3 * k + 1] = query[3 * k + 2] = query[3 * k];
  }
  const auto kernel = state.range(0) == 4 ? SimilaritySearch::Kernel::kAvx2 : SimilaritySearch::Kernel::kAuto;
  if (!SimilaritySearch::Supports(kernel)) {
    state.SkipWithError("not supported by this processor");
    return;
  }
  const MatchSearch search(state.range(0) == 2   ? ComparisonSet::All()
                           : state.range(0) == 3 ? ComparisonSet::Default().With(Comparison::kReframed, false)
                                                 : ComparisonSet::Default(),
                           SimilaritySearch::kHitCount, kernel, static_cast<std::size_t>(state.range(1)),
                           MatchSearch::kRowsPerThread, MatchSearch::Helpers::kAlways);
  std::size_t reports = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(search.Run(table, query, [&](std::size_t) { ++reports; }));
  }
  SetRowCounters(state, table.RowCount());
}
BENCHMARK(BM_MatchSearch)
    ->ArgNames({"query", "threads"})
    ->ArgsProduct({{0, 1, 2, 3, 4}, {1, 2}})
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

// One reframed difference (the whole family of crops, borders and turns): the
// matching search pays it for each of its candidate rows (at most 84).
void BM_ReframedDifference(benchmark::State& state) {
  const CacheTable& table = PackedTable();
  const ImageCache::Colours query = Query();
  std::size_t row = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(MatchSearch::ReframedDifference(table.Signature(row), query));
    row = (row + 7919) % table.RowCount();
  }
}
BENCHMARK(BM_ReframedDifference)->Unit(benchmark::kMicrosecond);

// The memory floor: one plain pass over the packed signature bytes, 32 bytes
// a load with four independent sums so that only memory limits it.
__attribute__((target("avx2"))) std::uint64_t SumBytes(const std::uint8_t* bytes, std::size_t size) {
  __m256i sums[4] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256()};
  std::size_t i = 0;
  for (; i + 128 <= size; i += 128) {
    for (int k = 0; k < 4; ++k) {
      sums[k] = _mm256_add_epi64(sums[k], _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i + 32 * k)));
    }
  }
  for (; i < size; ++i) sums[0] = _mm256_add_epi64(sums[0], _mm256_set1_epi64x(bytes[i]));
  const __m256i total = _mm256_add_epi64(_mm256_add_epi64(sums[0], sums[1]), _mm256_add_epi64(sums[2], sums[3]));
  return static_cast<std::uint64_t>(_mm256_extract_epi64(total, 0) + _mm256_extract_epi64(total, 3));
}

void BM_ReadPackedBytes(benchmark::State& state) {
  if (!__builtin_cpu_supports("avx2")) {
    state.SkipWithError("needs AVX2");
    return;
  }
  const CacheTable& table = PackedTable();
  for (auto _ : state) {
    for (std::size_t c = 0; c < table.ChunkCount(); ++c) {
      benchmark::DoNotOptimize(SumBytes(table.ChunkBytes(c), table.ChunkRows(c) * CacheTable::kByteStride));
    }
  }
  SetRowCounters(state, table.RowCount());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * table.RowCount() * CacheTable::kByteStride));
}
BENCHMARK(BM_ReadPackedBytes)->Unit(benchmark::kMillisecond);

// The whole operation as the window runs it, with a view that ignores the
// calls (about one status text per thousand rows) and a query file that is
// not an image.
void BM_ControlSearch(benchmark::State& state) {
  InitializeEnvironmentAt(CacheDir());
  NullView view;
  Control control(view);
  if (!control.OpenDatabase()) {
    state.SkipWithError("load failed");
    return;
  }
  control.SetPath(CacheDir() + "missing-image.png");
  for (auto _ : state) control.Search();
  SetRowCounters(state, static_cast<std::size_t>(control.RowCount()));
}
BENCHMARK(BM_ControlSearch)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
