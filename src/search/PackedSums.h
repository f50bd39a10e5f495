#pragma once

// Pieces shared by the SIMD scans of the packed rows (SimilaritySearch and
// MatchSearch): 16-bit sums of absolute differences of eight rows at a time,
// offered to a RankedList when they pass its bound. Only for x86 builds.

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "search/RankedList.h"

#define TINTWISE_X86 1

namespace packed_sums {

// A bound for 16-bit lane compares: packed sums never exceed 27 * 255.
inline std::int16_t Bound16(const RankedList& ranked) {
  return static_cast<std::int16_t>(std::min<std::int64_t>(ranked.Bound(), std::numeric_limits<std::int16_t>::max()));
}

// Offers the rows of a group of eight whose 16-bit sums passed the bound.
inline void OfferGroup(__m128i sums, int mask, std::size_t firstRow, RankedList& ranked) {
  alignas(16) std::int16_t lanes[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), sums);
  for (int lane = 0; lane < 8; ++lane) {
    if (mask & (1 << (2 * lane))) ranked.Offer(firstRow + static_cast<std::size_t>(lane), lanes[lane]);
  }
}

// Four per-row vectors of 64-bit partial sums (each below 2^16) interleaved
// into 16-bit words: word k of each 64-bit lane holds row k's partial sum.
inline __m128i Interleave4(__m128i a, __m128i b, __m128i c, __m128i d) {
  return _mm_or_si128(_mm_or_si128(a, _mm_slli_epi64(b, 16)),
                      _mm_or_si128(_mm_slli_epi64(c, 32), _mm_slli_epi64(d, 48)));
}

// Interleave4 on both 128-bit halves.
__attribute__((target("avx2"))) inline __m256i Interleave4x2(__m256i a, __m256i b, __m256i c, __m256i d) {
  return _mm256_or_si256(_mm256_or_si256(a, _mm256_slli_epi64(b, 16)),
                         _mm256_or_si256(_mm256_slli_epi64(c, 32), _mm256_slli_epi64(d, 48)));
}

}  // namespace packed_sums

#endif
