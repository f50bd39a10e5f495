#include "search/MatchSearch.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "infra/IdleCores.h"
#include "infra/Log.h"
#include "infra/ProcessorPlacement.h"

#include "search/CacheTable.h"
#include "search/RankedList.h"
#include "search/Reframing.h"

#include "search/PackedSums.h"

namespace {

constexpr std::size_t kValues = CacheTable::kIntStride;
constexpr std::size_t kStride = CacheTable::kByteStride;

// Luminance weights in 64ths, halfway between Rec. 601 and Rec. 709 (gray
// conversions use either): red 16, green 42, blue 6. A gray query cell is
// compared through its channel sum, so the stored side is 3 x luminance; the
// sum of the absolute differences over the cells is then divided by 64.
constexpr int kLumaRed = 16, kLumaGreen = 42, kLumaBlue = 6;
constexpr int kLumaShift = 6;

// The prefilter's tone curves: v -> 128 + gain * (v - 128) + shift, held to 0..255.
struct ToneCurve {
  double gain;
  int shift;
};
constexpr ToneCurve kToneCurves[] = {{1.0, 20}, {1.0, -20}};
constexpr int kToneCurveCount = sizeof kToneCurves / sizeof kToneCurves[0];

// The prefilter's frames undone: the query as the picture it would be
// without a white frame of this share of the original's side around it
// (a drawing on white framed by its poster).
constexpr double kUnframedBorders[] = {0.07};
constexpr double kNarrowestWideFrame = 0.05;
// Slots for the frames undone: the estimates above, or the query's picture
// without the frame found in its pixels.
constexpr int kUnframedCount = static_cast<int>(MatchSearch::kMaxUnframed);
static_assert(sizeof kUnframedBorders / sizeof kUnframedBorders[0] <= MatchSearch::kMaxUnframed);
// Every candidate list of the prefilter: the tone curves', then the frames'.
constexpr int kPrefilterCount = kToneCurveCount + kUnframedCount;

constexpr int kMaxQueries = kGridTransformCount + kPrefilterCount;

// The AVX2 kernel's second load of a row starts at this byte.
constexpr std::size_t kPairHigh = 12;
// How far ahead of the rows being compared the AVX2 kernel asks for the
// table's bytes: the hardware's own prefetch stops at every page boundary.
constexpr std::size_t kPrefetchAhead = 2048;

// A packed query: its values, and the same as the AVX2 kernel reads two rows
// at a time (bytes 0..15 in both lanes; bytes 16..26 at 4..14 of both lanes).
struct alignas(32) ByteQuery {
  std::uint8_t values[32] = {};
  std::uint8_t pairLow[32] = {};
  std::uint8_t pairHigh[32] = {};
};

// A gray query's cells: 64 x the channel sum.
std::array<std::int32_t, 9> GrayCells(const ImageCache::Colours& query) {
  std::array<std::int32_t, 9> cells{};
  for (int k = 0; k < 9; ++k) {
    const std::int64_t sum = std::int64_t{query[3 * k]} + query[3 * k + 1] + query[3 * k + 2];
    cells[k] = static_cast<std::int32_t>(std::clamp<std::int64_t>(sum, 0, 3 * 255) << kLumaShift);
  }
  return cells;
}

// The gray difference of one stored row, given up (returning `bound`) once the
// partial sum reaches `bound`: most rows leave after a cell or two.
template <class Value>
std::int64_t GrayRow(const Value* row, const std::array<std::int32_t, 9>& gray, std::int64_t bound) {
  const std::int64_t scaledBound =
      bound > (std::numeric_limits<std::int64_t>::max() >> kLumaShift) ? std::numeric_limits<std::int64_t>::max()
                                                                       : bound << kLumaShift;
  std::int64_t sum = 0;
  for (int k = 0; k < 9; ++k) {
    const std::int64_t luminance =
        3 * (kLumaRed * std::int64_t{row[3 * k]} + kLumaGreen * std::int64_t{row[3 * k + 1]} +
             kLumaBlue * std::int64_t{row[3 * k + 2]});
    const std::int64_t d = luminance - gray[k];
    sum += d < 0 ? -d : d;
    if (sum >= scaledBound) return bound;
  }
  return sum >> kLumaShift;
}

// The packed queries of one pass, each with the list it feeds, and for a gray
// query the cells of the luminance comparison and its list.
struct QuerySet {
  int count = 0;
  ByteQuery queries[kMaxQueries];
  RankedList* lists[kMaxQueries] = {};
  std::array<std::int32_t, 9> grayCells{};
  RankedList* grayList = nullptr;  // none: no luminance comparison

  void Add(const ImageCache::Colours& query, RankedList* list) {
    ByteQuery& packed = queries[count];
    for (std::size_t v = 0; v < kValues; ++v) {
      const auto value = static_cast<std::uint8_t>(query[v]);
      packed.values[v] = value;
      for (std::size_t lane = 0; lane < 32; lane += 16) {
        if (v < 16) packed.pairLow[lane + v] = value;
        if (v >= 16) packed.pairHigh[lane + v - kPairHigh] = value;
      }
    }
    lists[count++] = list;
  }
  void SetGray(const std::array<std::int32_t, 9>& cells, RankedList* list) {
    grayCells = cells;
    grayList = list;
  }
};

void OfferGray(const std::uint8_t* row, std::size_t index, const QuerySet& set) {
  const std::int64_t bound = set.grayList->Bound();
  const std::int64_t d = GrayRow(row, set.grayCells, bound);
  if (d < bound) set.grayList->Offer(index, d);
}

// Every comparison of the set for `count` rows; the SIMD kernels run the
// groups of eight rows and leave the tail to this one.
using MultiKernel = void (*)(const std::uint8_t* rows, std::size_t count, std::size_t firstRow, const QuerySet& set);

void ScanMultiScalar(const std::uint8_t* rows, std::size_t count, std::size_t firstRow, const QuerySet& set) {
  for (std::size_t r = 0; r < count; ++r) {
    const std::uint8_t* row = rows + r * kStride;
    for (int j = 0; j < set.count; ++j) {
      int sum = 0;
      for (std::size_t v = 0; v < kValues; ++v) sum += std::abs(int{row[v]} - int{set.queries[j].values[v]});
      if (sum < set.lists[j]->Bound()) set.lists[j]->Offer(firstRow + r, sum);
    }
    if (set.grayList != nullptr) OfferGray(row, firstRow + r, set);
  }
}

#ifdef TINTWISE_X86

using namespace packed_sums;

void ScanMultiSse2(const std::uint8_t* rows, std::size_t count, std::size_t firstRow, const QuerySet& set) {
  const __m128i highMask = _mm_srli_si128(_mm_set1_epi8(-1), 16 - (kValues - 16));
  __m128i bounds[kMaxQueries];
  for (int j = 0; j < set.count; ++j) bounds[j] = _mm_set1_epi16(Bound16(*set.lists[j]));
  std::size_t r = 0;
  for (; r + 8 <= count; r += 8) {
    const std::uint8_t* p = rows + r * kStride;
    __m128i low[8], high[8];
    for (int k = 0; k < 8; ++k) {
      low[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k * kStride));
      high[k] = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k * kStride + 16)), highMask);
    }
    for (int j = 0; j < set.count; ++j) {
      const __m128i qLow = _mm_load_si128(reinterpret_cast<const __m128i*>(set.queries[j].values));
      const __m128i qHigh = _mm_load_si128(reinterpret_cast<const __m128i*>(set.queries[j].values + 16));
      const auto sad = [&](int k) {
        return _mm_add_epi64(_mm_sad_epu8(low[k], qLow), _mm_sad_epu8(high[k], qHigh));
      };
      const __m128i t0 = Interleave4(sad(0), sad(1), sad(2), sad(3));
      const __m128i t1 = Interleave4(sad(4), sad(5), sad(6), sad(7));
      const __m128i sums = _mm_add_epi16(_mm_unpacklo_epi64(t0, t1), _mm_unpackhi_epi64(t0, t1));
      const int mask = _mm_movemask_epi8(_mm_cmplt_epi16(sums, bounds[j]));
      if (mask != 0) {
        OfferGroup(sums, mask, firstRow + r, *set.lists[j]);
        bounds[j] = _mm_set1_epi16(Bound16(*set.lists[j]));
      }
    }
    if (set.grayList != nullptr) {
      for (std::size_t k = 0; k < 8; ++k) OfferGray(p + k * kStride, firstRow + r + k, set);
    }
  }
  ScanMultiScalar(rows + r * kStride, count - r, firstRow + r, set);
}

// Offers the rows of a group of eight whose 32-bit sums passed the bound
// (`mask`, one bit a slot), the sums laid out two rows to a step: slots 0..3
// rows 0, 2, 4, 6, slots 4..7 rows 1, 3, 5, 7. `shift` scales the sums down.
__attribute__((target("avx2"))) void OfferPairs(__m256i sums, int mask, int shift, std::size_t firstRow,
                                                RankedList& ranked) {
  alignas(32) std::int32_t slots[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(slots), sums);
  for (int row = 0; row < 8; ++row) {
    const int slot = 4 * (row & 1) + row / 2;
    if (mask & (1 << slot)) ranked.Offer(firstRow + static_cast<std::size_t>(row), slots[slot] >> shift);
  }
}

// A group's luminance sums keep row 2i + L in slot i of lane L. Returns
// `ninth` with that slot of row kRow holding the row's ninth cell (bytes
// 24..26), read by a load that puts it there.
template <int kRow>
__attribute__((target("avx2"))) inline __m256i WithNinthCell(__m256i ninth, const std::uint8_t* group) {
  constexpr int kSlot = 4 * (kRow & 1) + kRow / 2;
  const __m256i cells = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(group + kRow * kStride + 24 - 4 * kSlot));
  return _mm256_blend_epi32(ninth, cells, 1 << kSlot);
}

// Eight rows a step, two at a time: one in each 128-bit lane, bytes 0..15
// of the two rows in one vector ("low") and bytes 12..27 in another ("high",
// bytes 12..15 and the next row's first byte masked off for the sums of
// absolute differences). Each query's eight sums come together in one vector
// without a move across lanes, and a gray query's luminance comparison takes
// its cells from the same vectors.
//
// The luminance comparison spreads the cells' bytes to four-byte slots and
// weights them 24/63/9 (3 x the luminance weights, halved so that a
// red-green pair fits a signed 16-bit lane for the multiply-add), starting
// from minus the query's 32 x channel sum: every cell's difference is half of
// GrayRow's, so the row's sum, shifted right by 5, is GrayRow's result. With
// kVnni one dot-product instruction does the multiply-adds. Reads one byte
// past the eighth row, which the chunk's slack covers.
template <bool kVnni, bool kGray>
__attribute__((target("avx2"))) void ScanMultiPairs(const std::uint8_t* rows, std::size_t count,
                                                    std::size_t firstRow, const QuerySet& set) {
  static_assert(kValues == 27 && kPairHigh == 12);
  const __m256i highMask = _mm256_setr_epi8(0, 0, 0, 0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0,  //
                                            0, 0, 0, 0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0);
  const __m256i ones = _mm256_set1_epi16(1);
  const auto bound32 = [&](const RankedList& list) __attribute__((target("avx2"))) {
    return _mm256_set1_epi32(static_cast<std::int32_t>(std::min<std::int64_t>(list.Bound(), 1 << 20)));
  };
  __m256i bounds[kMaxQueries];
  for (int j = 0; j < set.count; ++j) bounds[j] = bound32(*set.lists[j]);

  constexpr bool gray = kGray;
  const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                                          0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  constexpr int kRed = 3 * kLumaRed / 2, kGreen = 3 * kLumaGreen / 2, kBlue = 3 * kLumaBlue / 2;
  static_assert(kRed + kGreen <= 127 && 2 * kRed == 3 * kLumaRed && 2 * kGreen == 3 * kLumaGreen &&
                2 * kBlue == 3 * kLumaBlue);
  const __m256i weights = _mm256_setr_epi8(kRed, kGreen, kBlue, 0, kRed, kGreen, kBlue, 0, kRed, kGreen, kBlue, 0,
                                           kRed, kGreen, kBlue, 0, kRed, kGreen, kBlue, 0, kRed, kGreen, kBlue, 0,
                                           kRed, kGreen, kBlue, 0, kRed, kGreen, kBlue, 0);
  std::array<std::int16_t, 9> half{};
  for (int k = 0; k < 9; ++k) half[k] = static_cast<std::int16_t>(set.grayCells[k] >> 1);
  // Minus the query: cells 0..3 of each row, 4..7, and the ninth.
  const __m256i minus03 =
      _mm256_setr_epi32(-half[0], -half[1], -half[2], -half[3], -half[0], -half[1], -half[2], -half[3]);
  const __m256i minus47 =
      _mm256_setr_epi32(-half[4], -half[5], -half[6], -half[7], -half[4], -half[5], -half[6], -half[7]);
  const __m256i minus8 = _mm256_set1_epi32(-half[8]);
  // acc + the luminances of the cells in `bytes`, one cell a 32-bit slot.
  const auto plusLuma = [&](__m256i acc, __m256i bytes) __attribute__((target("avx2"))) {
    if constexpr (kVnni) {
      __asm__("%{vex%} vpdpbusd %2, %1, %0" : "+x"(acc) : "x"(bytes), "x"(weights));
      return acc;
    } else {
      return _mm256_add_epi32(acc, _mm256_madd_epi16(_mm256_maddubs_epi16(bytes, weights), ones));
    }
  };
  // Sums never exceed 9 x 24480, so a bound beyond 2^20 admits every row.
  const auto grayBound = [&]() __attribute__((target("avx2"))) {
    return _mm256_set1_epi32(
        static_cast<std::int32_t>(std::min<std::int64_t>(set.grayList->Bound(), 1 << 20) << (kLumaShift - 1)));
  };
  __m256i gBound = gray ? grayBound() : _mm256_setzero_si256();

  std::size_t r = 0;
  for (; r + 8 <= count; r += 8) {
    const std::uint8_t* p = rows + r * kStride;
    for (std::size_t line = 0; line < 8 * kStride; line += 64) {
      _mm_prefetch(reinterpret_cast<const char*>(p + kPrefetchAhead + line), _MM_HINT_T0);
    }
    __m256i low[4], high[4], highMasked[4];
    for (int i = 0; i < 4; ++i) {
      const std::uint8_t* a = p + 2 * i * kStride;
      low[i] = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(a + kStride), reinterpret_cast<const __m128i*>(a));
      high[i] = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(a + kStride + kPairHigh),
                                    reinterpret_cast<const __m128i*>(a + kPairHigh));
      highMasked[i] = _mm256_and_si256(high[i], highMask);
    }
    for (int j = 0; j < set.count; ++j) {
      const __m256i qLow = _mm256_load_si256(reinterpret_cast<const __m256i*>(set.queries[j].pairLow));
      const __m256i qHigh = _mm256_load_si256(reinterpret_cast<const __m256i*>(set.queries[j].pairHigh));
      // Step i: the two partial sums of row 2i in lane 0 and of row 2i + 1 in
      // lane 1, each below 2^16 in a 64-bit lane. Two packings gather the
      // partials of the four steps in order, and one multiply-add sums each
      // row's pair.
      const auto sad = [&](int i) __attribute__((target("avx2"))) {
        return _mm256_add_epi64(_mm256_sad_epu8(low[i], qLow), _mm256_sad_epu8(highMasked[i], qHigh));
      };
      const __m256i sums = _mm256_madd_epi16(
          _mm256_packus_epi32(_mm256_packus_epi32(sad(0), sad(1)), _mm256_packus_epi32(sad(2), sad(3))), ones);
      const int hit = _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(bounds[j], sums)));
      if (hit != 0) {
        OfferPairs(sums, hit, 0, firstRow + r, *set.lists[j]);
        bounds[j] = bound32(*set.lists[j]);
      }
    }
    if (!gray) continue;
    // Step i: rows 2i and 2i + 1, cells 0..3 and 4..7 folded to four slots.
    __m256i steps[4];
    for (int i = 0; i < 4; ++i) {
      steps[i] = _mm256_add_epi32(_mm256_abs_epi32(plusLuma(minus03, _mm256_shuffle_epi8(low[i], spread))),
                                  _mm256_abs_epi32(plusLuma(minus47, _mm256_shuffle_epi8(high[i], spread))));
    }
    // Each row's four slots summed without a move across lanes: adjacent
    // slots, then adjacent pairs (two blends and an in-lane shuffle each).
    const __m256i p01 = _mm256_add_epi32(_mm256_blend_epi32(steps[0], steps[1], 0xAA),
                                         _mm256_shuffle_epi32(_mm256_blend_epi32(steps[0], steps[1], 0x55), 0xB1));
    const __m256i p23 = _mm256_add_epi32(_mm256_blend_epi32(steps[2], steps[3], 0xAA),
                                         _mm256_shuffle_epi32(_mm256_blend_epi32(steps[2], steps[3], 0x55), 0xB1));
    // Lane L of the first eight cells' sums: rows L, 2 + L, 4 + L, 6 + L.
    const __m256i eight = _mm256_add_epi32(_mm256_blend_epi32(p01, p23, 0xCC),
                                           _mm256_shuffle_epi32(_mm256_blend_epi32(p01, p23, 0x33), 0x4E));
    // Already past the bound in every row (most groups, once the list is
    // full): the ninth cells cannot bring one back.
    if (_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(gBound, eight))) == 0) continue;
    // The ninth cells, each loaded so that it lands in its row's slot.
    __m256i ninth = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 24));
    ninth = WithNinthCell<1>(ninth, p);
    ninth = WithNinthCell<2>(ninth, p);
    ninth = WithNinthCell<3>(ninth, p);
    ninth = WithNinthCell<4>(ninth, p);
    ninth = WithNinthCell<5>(ninth, p);
    ninth = WithNinthCell<6>(ninth, p);
    ninth = WithNinthCell<7>(ninth, p);
    const __m256i total = _mm256_add_epi32(eight, _mm256_abs_epi32(plusLuma(minus8, ninth)));
    const int hit = _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(gBound, total)));
    if (hit != 0) {
      OfferPairs(total, hit, kLumaShift - 1, firstRow + r, *set.grayList);
      gBound = grayBound();
    }
  }
  ScanMultiScalar(rows + r * kStride, count - r, firstRow + r, set);
}

// The kernel made for the set's kind of query: a colour query's pass keeps
// no luminance state.
template <bool kVnni>
__attribute__((target("avx2"))) void ScanMultiPairsFor(const std::uint8_t* rows, std::size_t count,
                                                       std::size_t firstRow, const QuerySet& set) {
  if (set.grayList != nullptr) {
    ScanMultiPairs<kVnni, true>(rows, count, firstRow, set);
  } else {
    ScanMultiPairs<kVnni, false>(rows, count, firstRow, set);
  }
}

#endif  // TINTWISE_X86

MultiKernel PickKernel(SimilaritySearch::Kernel kernel) {
  switch (SimilaritySearch::Resolve(kernel)) {
#ifdef TINTWISE_X86
    case SimilaritySearch::Kernel::kAvxVnni:
      return ScanMultiPairsFor<true>;
    case SimilaritySearch::Kernel::kAvx2:
      return ScanMultiPairsFor<false>;
    case SimilaritySearch::Kernel::kSse2:
      return ScanMultiSse2;
#endif
    default:
      return ScanMultiScalar;
  }
}

template <class Value>
ImageCache::Colours RowColours(const Value* row) {
  ImageCache::Colours out{};
  for (std::size_t v = 0; v < kValues; ++v) out[v] = static_cast<std::int32_t>(row[v]);
  return out;
}

// Everything at once for one row in 64 bits: the path for tables and queries
// that do not fit bytes.
template <class Value>
void ScanExact(const Value* rows, std::size_t stride, std::size_t count, std::size_t firstRow,
               const std::vector<std::pair<ImageCache::Colours, RankedList*>>& grids, const bool gray,
               const std::array<std::int32_t, 9>& grayCells, RankedList* grayList,
               const ImageCache::Colours& query, RankedList* toneList) {
  for (std::size_t r = 0; r < count; ++r) {
    const Value* row = rows + r * stride;
    for (const auto& [grid, list] : grids) {
      std::int64_t sum = 0;
      for (std::size_t v = 0; v < kValues; ++v) {
        const std::int64_t d = std::int64_t{row[v]} - grid[v];
        sum += d < 0 ? -d : d;
      }
      if (sum < list->Bound()) list->Offer(firstRow + r, sum);
    }
    if (gray) {
      const std::int64_t bound = grayList->Bound();
      const std::int64_t d = GrayRow(row, grayCells, bound);
      if (d < bound) grayList->Offer(firstRow + r, d);
    }
    if (toneList) toneList->Offer(firstRow + r, MatchSearch::ToneDifference(RowColours(row), query));
  }
}

// The lists of one pass, by slot: the plain ranking, each comparison's
// closest rows (at its Comparison's index), then the prefilter's candidates
// of each tone curve and of each frame undone.
constexpr int kPlainSlot = static_cast<int>(Comparison::kSame);
constexpr int PrefilterSlot(int target) { return kComparisonCount + target; }

std::vector<RankedList> NewLists(std::size_t hitCount) {
  std::vector<RankedList> lists;
  lists.reserve(kComparisonCount + kPrefilterCount);
  lists.emplace_back(hitCount);
  for (int c = 1; c < kComparisonCount; ++c) lists.emplace_back(MatchSearch::kClosest);
  for (int c = 0; c < kPrefilterCount; ++c) lists.emplace_back(MatchSearch::kToneCandidates);
  return lists;
}

// What every row of a pass is compared with, each target with its list's slot.
struct PassPlan {
  ImageCache::Colours query{};
  std::vector<std::pair<ImageCache::Colours, int>> grids;
  std::vector<std::pair<ImageCache::Colours, int>> curves;  // the prefilter's; none without it
  bool gray = false;
  std::array<std::int32_t, 9> grayCells{};
  bool exactTone = false;  // the exact path fits tone on every row
  CacheTable::Layout layout = CacheTable::Layout::kBytes;
  bool packed = false;
  MultiKernel scan = ScanMultiScalar;
};

// Rows [start, start + count) of a chunk.
struct RowBlock {
  std::size_t chunk = 0;
  std::size_t start = 0;
  std::size_t count = 0;
};

// One thread's share of a pass: the blocks it is given, in table order,
// ranked into lists of its own.
class BlockScanner {
 public:
  BlockScanner(const PassPlan& plan, std::size_t hitCount) : plan_(plan), lists_(NewLists(hitCount)) {
    if (plan.packed) {
      for (const auto& [colours, slot] : plan.grids) set_.Add(colours, &lists_[slot]);
      for (const auto& [colours, slot] : plan.curves) set_.Add(colours, &lists_[slot]);
      if (plan.gray) set_.SetGray(plan.grayCells, &lists_[static_cast<int>(Comparison::kGrayscale)]);
    } else {
      for (const auto& [colours, slot] : plan.grids) exact_.emplace_back(colours, &lists_[slot]);
      for (const auto& [colours, slot] : plan.curves) exact_.emplace_back(colours, &lists_[slot]);
    }
  }
  BlockScanner(const BlockScanner&) = delete;
  BlockScanner& operator=(const BlockScanner&) = delete;

  void Scan(const CacheTable& table, const RowBlock& block) {
    const std::size_t first = table.ChunkFirstRow(block.chunk) + block.start;
    RankedList* grayList = &lists_[static_cast<int>(Comparison::kGrayscale)];
    RankedList* toneList = plan_.exactTone ? &lists_[static_cast<int>(Comparison::kTone)] : nullptr;
    if (plan_.packed) {
      plan_.scan(table.ChunkBytes(block.chunk) + block.start * kStride, block.count, first, set_);
    } else if (plan_.layout == CacheTable::Layout::kBytes) {
      ScanExact(table.ChunkBytes(block.chunk) + block.start * kStride, kStride, block.count, first, exact_,
                plan_.gray, plan_.grayCells, grayList, plan_.query, toneList);
    } else {
      ScanExact(table.ChunkInts(block.chunk) + block.start * kValues, kValues, block.count, first, exact_,
                plan_.gray, plan_.grayCells, grayList, plan_.query, toneList);
    }
  }

  const std::vector<RankedList>& Lists() const { return lists_; }

 private:
  const PassPlan& plan_;
  std::vector<RankedList> lists_;
  QuerySet set_;  // the packed path's queries, aimed at lists_
  std::vector<std::pair<ImageCache::Colours, RankedList*>> exact_;  // the exact path's
};

// The threads that help the calling one through a pass's blocks. However the
// pass ends they are joined, and when it ends early (an exception from the
// progress callback) the blocks left are taken from them first.
class HelperThreads {
 public:
  HelperThreads(std::atomic<std::size_t>& next, std::size_t blockCount) : next_(next), blockCount_(blockCount) {}
  HelperThreads(const HelperThreads&) = delete;
  HelperThreads& operator=(const HelperThreads&) = delete;
  ~HelperThreads() {
    next_.store(blockCount_);
    for (std::thread& thread : threads_) thread.join();
  }

  // False when the system gives no thread more: the pass goes on with those
  // it has (the calling thread takes whatever blocks are left).
  template <class Work>
  bool Start(Work work) {
    try {
      threads_.emplace_back(std::move(work));
      return true;
    } catch (const std::system_error& error) {
      WriteLog(std::string("MatchSearch: no helper thread (") + error.what() + "), going on with " +
               std::to_string(threads_.size() + 1));
      return false;
    }
  }

 private:
  std::atomic<std::size_t>& next_;
  std::size_t blockCount_;
  std::vector<std::thread> threads_;
};

// Scans every row of `table` on up to `threadCap` threads.
std::vector<RankedList> ScanTable(const CacheTable& table, const PassPlan& plan, std::size_t hitCount,
                                  std::size_t threadCap, const SimilaritySearch::Progress& progress) {
  // The blocks, in table order; chunks hold whole blocks (but the last), so
  // every block but the last ends on a multiple of kProgressRows.
  std::vector<RowBlock> blocks;
  for (std::size_t c = 0; c < table.ChunkCount(); ++c) {
    const std::size_t rows = table.ChunkRows(c);
    for (std::size_t start = 0; start < rows; start += SimilaritySearch::kProgressRows) {
      blocks.push_back({c, start, std::min(SimilaritySearch::kProgressRows, rows - start)});
    }
  }
  const std::size_t threads = std::min(threadCap, std::max<std::size_t>(blocks.size(), 1));

  std::vector<std::unique_ptr<BlockScanner>> scanners;
  for (std::size_t t = 0; t < threads; ++t) scanners.push_back(std::make_unique<BlockScanner>(plan, hitCount));
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> done{0};
  const auto scanBlocks = [&](BlockScanner& scanner, const auto& afterBlock) {
    for (std::size_t b; (b = next.fetch_add(1, std::memory_order_relaxed)) < blocks.size();) {
      scanner.Scan(table, blocks[b]);
      done.fetch_add(blocks[b].count, std::memory_order_relaxed);
      afterBlock();
    }
  };
  std::size_t reported = 0;
  const auto report = [&] {
    const std::size_t rows = done.load(std::memory_order_relaxed);
    const std::size_t whole = rows - rows % SimilaritySearch::kProgressRows;
    if (progress && whole > reported) {
      reported = whole;
      progress(whole);
    }
  };
  {
    HelperThreads helpers(next, blocks.size());
    for (std::size_t t = 1; t < threads; ++t) {
      BlockScanner& scanner = *scanners[t];
      if (!helpers.Start([&scanBlocks, &scanner] { scanBlocks(scanner, [] {}); })) break;
    }
    scanBlocks(*scanners[0], report);
  }
  report();

  // Each thread's list holds every row of its blocks that could enter the
  // whole table's list; offered again in table order, they leave what one
  // pass over every row would.
  std::vector<RankedList> merged = NewLists(hitCount);
  std::vector<SearchHit> hits;
  for (std::size_t slot = 0; slot < merged.size(); ++slot) {
    hits.clear();
    for (const auto& scanner : scanners) {
      const std::vector<SearchHit>& own = scanner->Lists()[slot].Hits();
      hits.insert(hits.end(), own.begin(), own.end());
    }
    std::sort(hits.begin(), hits.end(), [](const SearchHit& a, const SearchHit& b) { return a.row < b.row; });
    for (const SearchHit& hit : hits) merged[slot].Offer(hit.row, hit.difference);
  }
  return merged;
}

}  // namespace

MatchSearch::MatchSearch(ComparisonSet comparisons, std::size_t hitCount, SimilaritySearch::Kernel kernel,
                         std::size_t threads, std::size_t rowsPerThread, Helpers helpers)
    : comparisons_(comparisons),
      hitCount_(std::max<std::size_t>(hitCount, 1)),
      kernel_(kernel),
      threads_(std::max<std::size_t>(threads, 1)),
      rowsPerThread_(std::max<std::size_t>(rowsPerThread, 1)),
      helpers_(helpers) {}

std::size_t MatchSearch::DefaultThreads() {
  return std::min<std::size_t>(static_cast<std::size_t>(std::max(ProcessorsAllowed(), 1)), kMaxDefaultThreads);
}

bool MatchSearch::IsGray(const ImageCache::Colours& query) {
  for (int k = 0; k < 9; ++k) {
    const auto [low, high] = std::minmax({query[3 * k], query[3 * k + 1], query[3 * k + 2]});
    if (std::int64_t{high} - low > kGrayTolerance) return false;
  }
  return true;
}

double MatchSearch::Spread(const ImageCache::Colours& query) {
  double mean = 0;
  for (std::size_t v = 0; v < kValues; ++v) mean += query[v];
  mean /= kValues;
  double spread = 0;
  for (std::size_t v = 0; v < kValues; ++v) spread += std::abs(query[v] - mean);
  return spread / kValues;
}

std::int64_t MatchSearch::GrayDifference(const ImageCache::Colours& stored, const ImageCache::Colours& query) {
  return GrayRow(stored.data(), GrayCells(query), std::numeric_limits<std::int64_t>::max());
}

std::int64_t MatchSearch::ToneDifference(const ImageCache::Colours& stored, const ImageCache::Colours& query) {
  double storedMean = 0, queryMean = 0;
  for (std::size_t v = 0; v < kValues; ++v) {
    storedMean += stored[v];
    queryMean += query[v];
  }
  storedMean /= kValues;
  queryMean /= kValues;
  double storedSpread = 0, querySpread = 0;
  for (std::size_t v = 0; v < kValues; ++v) {
    storedSpread += std::abs(stored[v] - storedMean);
    querySpread += std::abs(query[v] - queryMean);
  }
  const double gain = querySpread > 0 ? std::clamp(storedSpread / querySpread, 1 / kToneGainLimit, kToneGainLimit) : 1;
  double sum = 0;
  for (std::size_t v = 0; v < kValues; ++v) sum += std::abs(stored[v] - (storedMean + gain * (query[v] - queryMean)));
  // A shift of the mean beyond a brightness edit's counts in full, so that
  // flat pictures do not all match one another.
  const double excess = std::max(0.0, std::abs(storedMean - queryMean) - kToneShiftLimit);
  return std::llround(sum + kValues * excess);
}

std::int64_t MatchSearch::ReframedDifference(const ImageCache::Colours& stored, const ImageCache::Colours& query) {
  return Reframing::Difference(stored, query);
}

std::int64_t MatchSearch::UnframedDifference(const ImageCache::Colours& stored, const ImageCache::Colours& view) {
  std::int64_t sum = 0;
  for (std::size_t v = 0; v < kValues; ++v) sum += std::abs(std::int64_t{stored[v]} - view[v]);
  return std::llround(kUnframedCost * static_cast<double>(sum));
}

MatchResult MatchSearch::Run(const CacheTable& table, const ImageCache::Colours& query,
                             const SimilaritySearch::Progress& progress) const {
  return Run(table, query, nullptr, progress);
}

MatchResult MatchSearch::Run(const CacheTable& table, const ImageCache::Colours& query,
                             const std::vector<ImageCache::Colours>* unframed,
                             const SimilaritySearch::Progress& progress) const {
  PassPlan plan;
  plan.query = query;
  // The grid comparisons: the query with the picture's turn undone.
  plan.grids.emplace_back(query, kPlainSlot);
  for (int t = 1; t < kGridTransformCount; ++t) {
    const auto transform = static_cast<GridTransform>(t);
    if (comparisons_.Has(static_cast<Comparison>(t))) {
      plan.grids.emplace_back(ApplyGridTransform(InverseOf(transform), query), t);
    }
  }
  plan.gray = comparisons_.Has(Comparison::kGrayscale) && IsGray(query);
  plan.grayCells = GrayCells(query);
  const bool tone = comparisons_.Has(Comparison::kTone);
  const bool reframed = comparisons_.Has(Comparison::kReframed);
  plan.layout = table.GetLayout();
  plan.packed = plan.layout == CacheTable::Layout::kBytes && SimilaritySearch::FitsBytes(query);
  // The exact path fits tone on every row itself.
  plan.exactTone = tone && !plan.packed;
  // The prefilter's curves bring the candidates of the tone fit and of the
  // reframed comparison.
  const bool prefilter = (plan.packed && tone) || reframed;
  if (prefilter) {
    for (int c = 0; c < kToneCurveCount; ++c) {
      ImageCache::Colours curve{};
      for (std::size_t v = 0; v < kValues; ++v) {
        const double value = 128 + kToneCurves[c].gain * (query[v] - 128) + kToneCurves[c].shift;
        curve[v] = static_cast<std::int32_t>(std::clamp(std::lround(value), 0L, 255L));
      }
      plan.curves.emplace_back(curve, PrefilterSlot(c));
    }
  }
  // The frame's candidates: from the picture without the frame its pixels
  // show, or, with the signature alone, for a query that could show a white
  // frame wider than the family's narrow ones (a dark photograph does not).
  std::vector<ImageCache::Colours> views;
  if (unframed != nullptr) {
    views.assign(unframed->begin(), unframed->begin() + std::min(unframed->size(), kMaxUnframed));
  } else if (Reframing::CouldBeFramed(query, kNarrowestWideFrame, 255)) {
    for (double border : kUnframedBorders) views.push_back(Reframing::Unframed(query, border, 255));
  }
  if (!reframed) views.clear();
  for (std::size_t b = 0; b < views.size(); ++b) {
    plan.curves.emplace_back(views[b], PrefilterSlot(kToneCurveCount + static_cast<int>(b)));
  }
  plan.scan = PickKernel(kernel_);

  std::size_t threads = std::min(threads_, std::max<std::size_t>(table.RowCount() / rowsPerThread_, 1));
  if (threads > 1 && helpers_ == Helpers::kWhenIdle) {
    threads = std::min<std::size_t>(threads, 1 + static_cast<std::size_t>(std::max(IdleCores(), 0)));
  }
  std::vector<RankedList> lists = ScanTable(table, plan, hitCount_, threads, progress);

  if (prefilter) {
    // The exact fits for the prefilter's rows and the plain hits, offered in
    // table order.
    std::vector<std::size_t> rows;
    for (int c = 0; c < kPrefilterCount; ++c) {
      for (const SearchHit& hit : lists[PrefilterSlot(c)].Hits()) rows.push_back(hit.row);
    }
    for (const SearchHit& hit : lists[kPlainSlot].Hits()) rows.push_back(hit.row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    RankedList& toneList = lists[static_cast<int>(Comparison::kTone)];
    RankedList& reframedList = lists[static_cast<int>(Comparison::kReframed)];
    for (std::size_t row : rows) {
      const ImageCache::Colours stored = table.Signature(row);
      if (plan.packed && tone) toneList.Offer(row, ToneDifference(stored, query));
      if (reframed) {
        std::int64_t difference = ReframedDifference(stored, query);
        if (unframed != nullptr) {
          for (const ImageCache::Colours& view : views) {
            difference = std::min(difference, UnframedDifference(stored, view));
          }
        }
        reframedList.Offer(row, difference);
      }
    }
  }

  MatchResult result;
  result.hits = lists[kPlainSlot].Hits();
  result.closest[0] = {result.hits.begin(), result.hits.begin() + std::min(kClosest, result.hits.size())};
  for (int c = 1; c < kComparisonCount; ++c) result.closest[c] = lists[c].Hits();
  result.spread = Spread(query);
  return result;
}
