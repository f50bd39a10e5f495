#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "imaging/ImageCache.h"

class CacheTable;

// One hit of a search: a row of the cache table and its difference from the
// query (sum of the absolute differences of the 27 values, computed without
// overflow).
struct SearchHit {
  std::size_t row = 0;
  std::int64_t difference = 0;

  bool operator==(const SearchHit&) const = default;
};

// Ranks every row of a cache table against a query signature and keeps the
// closest ones: the result equals a stable sort of all rows by difference cut
// after the hit count (kHitCount unless given), so among equal differences the
// earlier row wins.
//
// Tables whose values all fit 0..255 are scanned as packed bytes with SIMD
// sums of absolute differences (AVX2 when the processor has it, else SSE2);
// other tables, and queries with values outside 0..255, take an exact
// 64-bit path. Every path gives the same hits.
class SimilaritySearch {
 public:
  static constexpr std::size_t kHitCount = 20;
  // Progress is reported after every this many rows.
  static constexpr std::size_t kProgressRows = 1000;

  // Which scan to use; kAuto picks the fastest the processor supports. The
  // others exist so that tests and benchmarks can compare them. kAvxVnni is
  // AVX2 plus the VEX-coded byte dot product, which only MatchSearch's
  // luminance comparison uses (the plain search runs its AVX2 scan).
  enum class Kernel { kAuto, kScalar, kSse2, kAvx2, kAvxVnni };

  // Called with the number of rows ranked so far, each time it reaches a
  // multiple of kProgressRows (from the thread running the search).
  using Progress = std::function<void(std::size_t rowsDone)>;

  // `hitCount` below 1 counts as 1.
  explicit SimilaritySearch(Kernel kernel = Kernel::kAuto, std::size_t hitCount = kHitCount);

  // The closest rows of `table` to `query`, closest first. Runs on the calling
  // thread; reads the table only.
  std::vector<SearchHit> Run(const CacheTable& table, const ImageCache::Colours& query,
                             const Progress& progress = {}) const;

  // Whether this processor can run `kernel`.
  static bool Supports(Kernel kernel);

  // The scan that runs for `kernel` here: kAuto becomes the fastest this
  // processor supports, AVX-VNNI without it AVX2, AVX2 without AVX2 SSE2,
  // and without SIMD everything is the scalar loop.
  static Kernel Resolve(Kernel kernel);

  // Whether every value of `query` fits the packed bytes (0..255).
  static bool FitsBytes(const ImageCache::Colours& query);

 private:
  Kernel kernel_;
  std::size_t hitCount_;
};
