#include "search/SimilaritySearch.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

#include "search/CacheTable.h"
#include "search/RankedList.h"

#include "search/PackedSums.h"

#ifdef TINTWISE_X86
#include <cpuid.h>
#endif

namespace {

#ifdef TINTWISE_X86
// AVX-VNNI: CPUID leaf 7, sub-leaf 1, EAX bit 4 (read directly: not every
// compiler's __builtin_cpu_supports knows the name). The state it uses is
// AVX's, which the AVX2 check covers. Asked once: every search resolves its
// kernel, and CPUID is slow (a virtual machine traps it).
bool HasAvxVnni() {
  static const bool has = [] {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid_count(7, 1, &eax, &ebx, &ecx, &edx) && ((eax >> 4) & 1u) != 0;
  }();
  return has;
}
#endif

constexpr std::size_t kValues = CacheTable::kIntStride;
constexpr std::size_t kStride = CacheTable::kByteStride;

// The packed query: 27 bytes and a zero tail. A 32-byte load at a row start
// also takes the first bytes of the next row; those are masked to zero, so
// the tail adds nothing to a sum.
struct alignas(32) ByteQuery {
  std::uint8_t values[32] = {};
};

using ByteKernel = void (*)(const std::uint8_t* rows, std::size_t count, std::size_t firstRow,
                            const ByteQuery& query, RankedList& ranked);

void ScanBytesScalar(const std::uint8_t* rows, std::size_t count, std::size_t firstRow, const ByteQuery& query,
                     RankedList& ranked) {
  for (std::size_t r = 0; r < count; ++r) {
    const std::uint8_t* row = rows + r * kStride;
    int sum = 0;
    for (std::size_t v = 0; v < kValues; ++v) sum += std::abs(int{row[v]} - int{query.values[v]});
    if (sum < ranked.Bound()) ranked.Offer(firstRow + r, sum);
  }
}

#ifdef TINTWISE_X86

using namespace packed_sums;

void ScanBytesSse2(const std::uint8_t* rows, std::size_t count, std::size_t firstRow, const ByteQuery& query,
                   RankedList& ranked) {
  const __m128i qLow = _mm_load_si128(reinterpret_cast<const __m128i*>(query.values));
  const __m128i qHigh = _mm_load_si128(reinterpret_cast<const __m128i*>(query.values + 16));
  const __m128i highMask = _mm_srli_si128(_mm_set1_epi8(-1), 16 - (kValues - 16));
  const auto rowSad = [&](const std::uint8_t* row) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
    const __m128i high = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 16)), highMask);
    return _mm_add_epi64(_mm_sad_epu8(low, qLow), _mm_sad_epu8(high, qHigh));
  };
  __m128i bound = _mm_set1_epi16(Bound16(ranked));
  std::size_t r = 0;
  for (; r + 8 <= count; r += 8) {
    const std::uint8_t* p = rows + r * kStride;
    const __m128i t0 = Interleave4(rowSad(p), rowSad(p + kStride), rowSad(p + 2 * kStride), rowSad(p + 3 * kStride));
    const __m128i t1 = Interleave4(rowSad(p + 4 * kStride), rowSad(p + 5 * kStride), rowSad(p + 6 * kStride),
                                   rowSad(p + 7 * kStride));
    // Add the two 64-bit lanes of each: words 0-3 rows 0-3, words 4-7 rows 4-7.
    const __m128i sums = _mm_add_epi16(_mm_unpacklo_epi64(t0, t1), _mm_unpackhi_epi64(t0, t1));
    const int mask = _mm_movemask_epi8(_mm_cmplt_epi16(sums, bound));
    if (mask != 0) {
      OfferGroup(sums, mask, firstRow + r, ranked);
      bound = _mm_set1_epi16(Bound16(ranked));
    }
  }
  ScanBytesScalar(rows + r * kStride, count - r, firstRow + r, query, ranked);
}

__attribute__((target("avx2"))) void ScanBytesAvx2(const std::uint8_t* rows, std::size_t count,
                                                   std::size_t firstRow, const ByteQuery& query,
                                                   RankedList& ranked) {
  const __m256i q = _mm256_load_si256(reinterpret_cast<const __m256i*>(query.values));
  alignas(32) static constexpr std::uint8_t kMask[32] = {
      0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
      0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0,    0,    0,    0,    0};
  static_assert(kValues == 27);
  const __m256i mask = _mm256_load_si256(reinterpret_cast<const __m256i*>(kMask));
  const auto rowSad = [&](const std::uint8_t* row) __attribute__((target("avx2"))) {
    return _mm256_sad_epu8(_mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(row)), mask), q);
  };
  __m128i bound = _mm_set1_epi16(Bound16(ranked));
  std::size_t r = 0;
  for (; r + 8 <= count; r += 8) {
    const std::uint8_t* p = rows + r * kStride;
    const __m256i t0 =
        Interleave4x2(rowSad(p), rowSad(p + kStride), rowSad(p + 2 * kStride), rowSad(p + 3 * kStride));
    const __m256i t1 = Interleave4x2(rowSad(p + 4 * kStride), rowSad(p + 5 * kStride), rowSad(p + 6 * kStride),
                                     rowSad(p + 7 * kStride));
    const __m128i u0 = _mm_add_epi16(_mm256_castsi256_si128(t0), _mm256_extracti128_si256(t0, 1));
    const __m128i u1 = _mm_add_epi16(_mm256_castsi256_si128(t1), _mm256_extracti128_si256(t1, 1));
    const __m128i sums = _mm_add_epi16(_mm_unpacklo_epi64(u0, u1), _mm_unpackhi_epi64(u0, u1));
    const int mask = _mm_movemask_epi8(_mm_cmplt_epi16(sums, bound));
    if (mask != 0) {
      OfferGroup(sums, mask, firstRow + r, ranked);
      bound = _mm_set1_epi16(Bound16(ranked));
    }
  }
  ScanBytesScalar(rows + r * kStride, count - r, firstRow + r, query, ranked);
}

#endif  // TINTWISE_X86

// The exact path: any stored values against any query, in 64 bits.
template <class Value>
void ScanExact(const Value* rows, std::size_t stride, std::size_t count, std::size_t firstRow,
               const ImageCache::Colours& query, RankedList& ranked) {
  for (std::size_t r = 0; r < count; ++r) {
    const Value* row = rows + r * stride;
    std::int64_t sum = 0;
    for (std::size_t v = 0; v < kValues; ++v) {
      const std::int64_t d = std::int64_t{row[v]} - query[v];
      sum += d < 0 ? -d : d;
    }
    if (sum < ranked.Bound()) ranked.Offer(firstRow + r, sum);
  }
}

ByteKernel PickByteKernel(SimilaritySearch::Kernel kernel) {
  switch (SimilaritySearch::Resolve(kernel)) {
#ifdef TINTWISE_X86
    case SimilaritySearch::Kernel::kAvx2:
    case SimilaritySearch::Kernel::kAvxVnni:
      return ScanBytesAvx2;
    case SimilaritySearch::Kernel::kSse2:
      return ScanBytesSse2;
#endif
    default:
      return ScanBytesScalar;
  }
}

}  // namespace

SimilaritySearch::SimilaritySearch(Kernel kernel, std::size_t hitCount)
    : kernel_(kernel), hitCount_(std::max<std::size_t>(hitCount, 1)) {}

bool SimilaritySearch::Supports(Kernel kernel) {
  switch (kernel) {
    case Kernel::kAuto:
    case Kernel::kScalar:
      return true;
#ifdef TINTWISE_X86
    case Kernel::kSse2:
      return __builtin_cpu_supports("sse2");
    case Kernel::kAvx2:
      return __builtin_cpu_supports("avx2");
    case Kernel::kAvxVnni:
      return __builtin_cpu_supports("avx2") && HasAvxVnni();
#else
    default:
      return false;
#endif
  }
  return false;
}

SimilaritySearch::Kernel SimilaritySearch::Resolve(Kernel kernel) {
  if (kernel == Kernel::kAuto || !Supports(kernel)) {
    return kernel == Kernel::kAuto && Supports(Kernel::kAvxVnni)   ? Kernel::kAvxVnni
           : Supports(Kernel::kAvx2) && kernel != Kernel::kSse2 ? Kernel::kAvx2
           : Supports(Kernel::kSse2)                            ? Kernel::kSse2
                                                                : Kernel::kScalar;
  }
  return kernel;
}

bool SimilaritySearch::FitsBytes(const ImageCache::Colours& query) {
  return std::all_of(query.begin(), query.end(), [](std::int32_t v) { return v >= 0 && v <= 255; });
}

std::vector<SearchHit> SimilaritySearch::Run(const CacheTable& table, const ImageCache::Colours& query,
                                             const Progress& progress) const {
  RankedList ranked(hitCount_);
  const bool packed = table.GetLayout() == CacheTable::Layout::kBytes && FitsBytes(query);
  const ByteKernel scanBytes = PickByteKernel(kernel_);
  ByteQuery byteQuery;
  if (packed) {
    for (std::size_t v = 0; v < kValues; ++v) byteQuery.values[v] = static_cast<std::uint8_t>(query[v]);
  }

  // Rows are ranked a block at a time; chunks hold whole blocks (but the last),
  // so progress lands exactly on the multiples of kProgressRows.
  std::size_t done = 0;
  for (std::size_t c = 0; c < table.ChunkCount(); ++c) {
    const std::size_t rows = table.ChunkRows(c);
    const std::size_t first = table.ChunkFirstRow(c);
    for (std::size_t start = 0; start < rows; start += kProgressRows) {
      const std::size_t count = std::min(kProgressRows, rows - start);
      if (packed) {
        scanBytes(table.ChunkBytes(c) + start * kStride, count, first + start, byteQuery, ranked);
      } else if (table.GetLayout() == CacheTable::Layout::kBytes) {
        ScanExact(table.ChunkBytes(c) + start * kStride, kStride, count, first + start, query, ranked);
      } else {
        ScanExact(table.ChunkInts(c) + start * kValues, kValues, count, first + start, query, ranked);
      }
      done += count;
      if (progress && done % kProgressRows == 0) progress(done);
    }
  }
  return ranked.Hits();
}
