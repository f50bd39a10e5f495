#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/ImageCache.h"
#include "search/Comparison.h"
#include "search/SimilaritySearch.h"

class CacheTable;

// What one pass of MatchSearch found: the plain ranking, exactly as
// SimilaritySearch gives it, and for every comparison that ran its closest
// rows.
struct MatchResult {
  std::vector<SearchHit> hits;
  // Indexed by Comparison: at most MatchSearch::kClosest rows, closest first
  // (equal differences in row order); empty for a comparison that did not run.
  std::array<std::vector<SearchHit>, kComparisonCount> closest;
  // The query's spread: the mean distance of its 27 values from their mean
  // (how much its signature says; a flat or mostly white picture says little).
  double spread = 0;
};

// Compares a query with every row of a cache table in several ways in one
// pass over the rows: the plain difference (ranked as SimilaritySearch ranks
// it), the grid turned or mirrored, a gray query against the stored colours'
// luminance, brightness and contrast fitted away, and a small crop, border or
// turn undone.
//
// Differences, each on the plain scale (a sum over 27 values):
// - a grid comparison: the plain difference from the query with its cells
//   moved back (the picture's turn undone);
// - grayscale, run only for a gray query (every cell's channels within
//   kGrayTolerance): the sum over the 9 cells of |3 x luminance of the
//   stored cell - the query cell's channel sum|, rounded down, luminance
//   weighted 16/64 red, 42/64 green, 6/64 blue (halfway between Rec. 601 and
//   Rec. 709, since gray conversions use either);
// - tone: the stored values against the query's values under the straight
//   line a + g * q (one for all 27 values) that matches their mean and their
//   mean absolute spread (g held to [1/kToneGainLimit, kToneGainLimit]), plus
//   27 x the part of the means' distance beyond kToneShiftLimit (flat
//   pictures would otherwise all match), rounded to the nearest integer. Rows reach the exact fit through a
//   prefilter: the plain difference against the query brightened and
//   darkened by 20 levels; the closest kToneCandidates rows of each, and the
//   plain hits, are fitted (two passes' worth of work rather than one per
//   curve of a finer grid);
// - reframed: Reframing's difference (a small crop, border or turn undone),
//   fitted on the same candidates as tone: the prefilter's rows and the plain
//   hits, and the closest kToneCandidates rows to the query with a white
//   frame of a tenth of the side undone (a drawing on white framed by its
//   poster moves across the grid, far from its original). When the caller
//   found the frame in the query's pixels, the picture without it stands in
//   for that estimate: its closest kToneCandidates rows are candidates too,
//   and a candidate's reframed difference is at most kUnframedCost x its
//   plain difference from such a view.
class MatchSearch {
 public:
  static constexpr std::size_t kClosest = 2;
  static constexpr int kGrayTolerance = 4;
  static constexpr double kToneGainLimit = 1.5;
  static constexpr double kToneShiftLimit = 32;
  static constexpr std::size_t kToneCandidates = 32;
  static constexpr std::size_t kMaxUnframed = 2;
  // Below 1: the picture unframed is the picture itself, not a fit of a
  // model of the edit (chosen on the drawings' tuning half at 1,000,000
  // rows; at 0.5 never-posted drawings are called similar too often).
  static constexpr double kUnframedCost = 0.75;

  // A table gets one thread more for every this many rows: below it
  // starting a thread costs more than it saves.
  static constexpr std::size_t kRowsPerThread = 64 * SimilaritySearch::kProgressRows;
  static constexpr std::size_t kMaxDefaultThreads = 4;

  // When threads beyond the calling one help: only for processors that
  // IdleCores finds free at the start of a pass (on a busy machine a helper
  // waits for its turn, and the pass waits for its last block), or always
  // (tests, benchmarks).
  enum class Helpers { kWhenIdle, kAlways };

  // `threads` (below 1 counts as 1) caps the threads of a pass, the calling
  // one included; `rowsPerThread` (tests make it small) as kRowsPerThread.
  explicit MatchSearch(ComparisonSet comparisons, std::size_t hitCount = SimilaritySearch::kHitCount,
                       SimilaritySearch::Kernel kernel = SimilaritySearch::Kernel::kAuto,
                       std::size_t threads = DefaultThreads(), std::size_t rowsPerThread = kRowsPerThread,
                       Helpers helpers = Helpers::kWhenIdle);

  // The processors this process may run on, at most kMaxDefaultThreads: the
  // pass is bound by computation, so each thread up to the processors adds
  // its share, while a few more would only take memory bandwidth from the
  // rest of the program.
  static std::size_t DefaultThreads();

  // Reads the table only, on the calling thread and up to threads - 1 more,
  // each scanning blocks of kProgressRows rows as they come and keeping its
  // own lists, merged at the end: the result is the one a single thread
  // finds. Progress as in SimilaritySearch, from the calling thread, with
  // growing multiples of kProgressRows (a block finished on another thread
  // is counted at the calling thread's next report, so a count may be
  // skipped) and the last one as a single thread reports it. When it throws,
  // the other threads stop after their current block and Run passes the
  // exception on.
  MatchResult Run(const CacheTable& table, const ImageCache::Colours& query,
                  const SimilaritySearch::Progress& progress = {}) const;
  // The same with the query's picture known: `unframed` holds its signature
  // without a white frame found in its pixels, at up to kMaxUnframed widths
  // (empty: the picture has none); null as above, the signature alone.
  MatchResult Run(const CacheTable& table, const ImageCache::Colours& query,
                  const std::vector<ImageCache::Colours>* unframed,
                  const SimilaritySearch::Progress& progress = {}) const;

  // The single differences, for tests and for refining candidates.
  static std::int64_t GrayDifference(const ImageCache::Colours& stored, const ImageCache::Colours& query);
  static std::int64_t ToneDifference(const ImageCache::Colours& stored, const ImageCache::Colours& query);
  static std::int64_t ReframedDifference(const ImageCache::Colours& stored, const ImageCache::Colours& query);
  // kUnframedCost x the plain difference from the query's picture unframed.
  static std::int64_t UnframedDifference(const ImageCache::Colours& stored, const ImageCache::Colours& view);
  static bool IsGray(const ImageCache::Colours& query);
  static double Spread(const ImageCache::Colours& query);

 private:
  ComparisonSet comparisons_;
  std::size_t hitCount_;
  SimilaritySearch::Kernel kernel_;
  std::size_t threads_;
  std::size_t rowsPerThread_;
  Helpers helpers_;
};
