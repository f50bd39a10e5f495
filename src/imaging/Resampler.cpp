#include "imaging/Resampler.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "imaging/FilterWeights.h"

#if defined(__SSE2__)
#include <immintrin.h>
#define TINTWISE_HAVE_SSE2 1
#else
#define TINTWISE_HAVE_SSE2 0
#endif

namespace {

constexpr int kDitherMatrix[4][4] = {
    {31, 15, 27, 11},
    {7, 23, 3, 19},
    {25, 9, 29, 13},
    {1, 17, 5, 21},
};

using Scale = std::array<float, 4>;

// Step 5 of the reduction for one channel value.
std::uint32_t ToByte(float value, float dither) {
  if (value < 0.0f) value = 0.0f;
  if (value > 1.0f) value = 1.0f;
  const float scaled = value * 255.0f;
  const float dithered = scaled + dither;
  int byte = static_cast<int>(dithered);
  if (byte < 0) byte = 0;
  if (byte > 255) byte = 255;
  return static_cast<std::uint32_t>(byte);
}

std::uint32_t PackPixel(const float* channels, float dither) {
  return ToByte(channels[3], dither) << 24 | ToByte(channels[0], dither) << 16 |
         ToByte(channels[1], dither) << 8 | ToByte(channels[2], dither);
}

// The accumulators of the destination rows one source row feeds.
struct RowTargets {
  std::vector<float*> rows;
  std::vector<float> weights;
};

template <typename Sample>
void AccumulateRowScalar(const Sample* source, const FilterWeights& columns, const RowTargets& targets,
                         const Scale& scale) {
  const int width = columns.SourceLength();
  const size_t rowCount = targets.rows.size();
  for (int x = 0; x < width; ++x) {
    const Sample* p = source + static_cast<size_t>(x) * 4;
    float pixel[4];
    for (int c = 0; c < 4; ++c) pixel[c] = static_cast<float>(p[c]) * scale[static_cast<size_t>(c)];
    const FilterWeight* columnBegin = columns.Begin(x);
    const FilterWeight* columnEnd = columns.End(x);
    for (size_t r = 0; r < rowCount; ++r) {
      float* row = targets.rows[r];
      const float wy = targets.weights[r];
      for (const FilterWeight* e = columnBegin; e != columnEnd; ++e) {
        const float w = e->weight * wy;
        float* accumulator = row + static_cast<size_t>(e->index) * 4;
        for (int c = 0; c < 4; ++c) accumulator[c] = accumulator[c] + w * pixel[c];
      }
    }
  }
}

#if TINTWISE_HAVE_SSE2
inline __m128 LoadPixel(const std::uint8_t* p, __m128i zero) {
  std::int32_t packed;
  std::memcpy(&packed, p, sizeof packed);
  const __m128i bytes = _mm_cvtsi32_si128(packed);
  return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero));
}

inline __m128 LoadPixel(const std::uint16_t* p, __m128i zero) {
  const __m128i words = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  return _mm_cvtepi32_ps(_mm_unpacklo_epi16(words, zero));
}

// The column weights regrouped by destination column: for each destination
// column, the source columns that feed it, left to right and in list order
// within a column, which is exactly the order the plain loop adds them in.
// Walking these lists keeps each accumulator's order while letting the
// accumulators of neighbouring destination columns advance side by side,
// held in registers, instead of one long chain of dependent additions.
struct alignas(16) Lane4 {
  float v[4];
};

struct ColumnGather {
  std::vector<std::uint32_t> begin;  // destination column d: [begin[d], begin[d + 1])
  std::vector<int> sourceX;
  std::vector<Lane4> weight;  // each weight repeated in four lanes
  // runOfFour[i]: elements i .. i + 3 belong to one destination column and
  // read four neighbouring source pixels, which can be loaded at once.
  std::vector<std::uint8_t> runOfFour;

  explicit ColumnGather(const FilterWeights& columns) {
    const int destinations = columns.DestinationLength();
    std::vector<std::uint32_t> counts(static_cast<size_t>(destinations) + 1, 0);
    for (int x = 0; x < columns.SourceLength(); ++x) {
      for (const FilterWeight* e = columns.Begin(x); e != columns.End(x); ++e) ++counts[static_cast<size_t>(e->index) + 1];
    }
    begin.assign(counts.size(), 0);
    for (size_t d = 1; d < counts.size(); ++d) begin[d] = begin[d - 1] + counts[d];
    sourceX.resize(begin.back());
    weight.resize(begin.back());
    std::vector<std::uint32_t> next(begin.begin(), begin.end() - 1);
    for (int x = 0; x < columns.SourceLength(); ++x) {
      for (const FilterWeight* e = columns.Begin(x); e != columns.End(x); ++e) {
        const std::uint32_t at = next[static_cast<size_t>(e->index)]++;
        sourceX[at] = x;
        weight[at] = Lane4{{e->weight, e->weight, e->weight, e->weight}};
      }
    }
    runOfFour.assign(sourceX.size(), 0);
    for (size_t d = 0; d + 1 < begin.size(); ++d) {
      for (std::uint32_t i = begin[d]; i + 3 < begin[d + 1]; ++i) {
        runOfFour[i] = sourceX[i + 1] == sourceX[i] + 1 && sourceX[i + 2] == sourceX[i] + 2 &&
                       sourceX[i + 3] == sourceX[i] + 3;
      }
    }
  }
};

// Four neighbouring pixels, scaled to 0..1.
inline void LoadFour(const std::uint8_t* p, __m128 scale, __m128i zero, __m128 out[4]) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i low = _mm_unpacklo_epi8(bytes, zero);
  const __m128i high = _mm_unpackhi_epi8(bytes, zero);
  out[0] = _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(low, zero)), scale);
  out[1] = _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(low, zero)), scale);
  out[2] = _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(high, zero)), scale);
  out[3] = _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(high, zero)), scale);
}

inline void LoadFour(const std::uint16_t* p, __m128 scale, __m128i zero, __m128 out[4]) {
  const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
  out[0] = _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(first, zero)), scale);
  out[1] = _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(first, zero)), scale);
  out[2] = _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(second, zero)), scale);
  out[3] = _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(second, zero)), scale);
}

template <typename Sample>
inline __m128 Contribution(const Sample* source, const ColumnGather& gather, std::uint32_t at, __m128 wy,
                           __m128 scale, __m128i zero) {
  const __m128 pixel = _mm_mul_ps(LoadPixel(source + static_cast<size_t>(gather.sourceX[at]) * 4, zero), scale);
  const __m128 w = _mm_mul_ps(_mm_load_ps(gather.weight[at].v), wy);
  return _mm_mul_ps(w, pixel);
}

// Adds one source row, weighted by wy, into destination columns
// first .. first + kChains - 1 of one destination row.
template <typename Sample, int kChains>
void GatherChains(const Sample* source, const ColumnGather& gather, int first, float* row, __m128 wy,
                  __m128 scale, __m128i zero) {
  __m128 sums[kChains];
  std::uint32_t at[kChains];
  std::uint32_t end[kChains];
  std::uint32_t common = ~0u;
  for (int k = 0; k < kChains; ++k) {
    sums[k] = _mm_loadu_ps(row + static_cast<size_t>(first + k) * 4);
    at[k] = gather.begin[static_cast<size_t>(first + k)];
    end[k] = gather.begin[static_cast<size_t>(first + k) + 1];
    common = std::min(common, end[k] - at[k]);
  }
  std::uint32_t i = 0;
  while (i < common) {
    bool four = i + 4 <= common;
    for (int k = 0; k < kChains && four; ++k) four = gather.runOfFour[at[k] + i] != 0;
    if (!four) {
      for (int k = 0; k < kChains; ++k) {
        sums[k] = _mm_add_ps(sums[k], Contribution(source, gather, at[k] + i, wy, scale, zero));
      }
      ++i;
      continue;
    }
    for (int k = 0; k < kChains; ++k) {
      const std::uint32_t first = at[k] + i;
      __m128 pixels[4];
      LoadFour(source + static_cast<size_t>(gather.sourceX[first]) * 4, scale, zero, pixels);
      for (int j = 0; j < 4; ++j) {
        const __m128 w = _mm_mul_ps(_mm_load_ps(gather.weight[first + static_cast<std::uint32_t>(j)].v), wy);
        sums[k] = _mm_add_ps(sums[k], _mm_mul_ps(w, pixels[j]));
      }
    }
    i += 4;
  }
  for (int k = 0; k < kChains; ++k) {
    for (std::uint32_t i = at[k] + common; i < end[k]; ++i) {
      sums[k] = _mm_add_ps(sums[k], Contribution(source, gather, i, wy, scale, zero));
    }
    _mm_storeu_ps(row + static_cast<size_t>(first + k) * 4, sums[k]);
  }
}

#if defined(__x86_64__) && defined(__GNUC__)
// With AVX2 two destination columns share one register: twice the work per
// instruction, each lane still taking its additions in the same order.
#define TINTWISE_AVX2 __attribute__((target("avx2")))

TINTWISE_AVX2 inline __m128i WidenPixel(const std::uint8_t* p) {
  std::int32_t packed;
  std::memcpy(&packed, p, sizeof packed);
  return _mm_cvtepu8_epi32(_mm_cvtsi32_si128(packed));
}

TINTWISE_AVX2 inline __m128i WidenPixel(const std::uint16_t* p) {
  return _mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}

template <typename Sample>
TINTWISE_AVX2 inline __m128 ContributionAvx2(const Sample* source, const ColumnGather& gather, std::uint32_t at,
                                             __m128 wy, __m128 scale) {
  const __m128 pixel =
      _mm_mul_ps(_mm_cvtepi32_ps(WidenPixel(source + static_cast<size_t>(gather.sourceX[at]) * 4)), scale);
  const __m128 w = _mm_mul_ps(_mm_load_ps(gather.weight[at].v), wy);
  return _mm_mul_ps(w, pixel);
}

// Destination columns first .. first + 2 of one destination row: the first
// two side by side in one 256-bit register, the third beside them.
template <typename Sample>
TINTWISE_AVX2 void GatherTripleAvx2(const Sample* source, const ColumnGather& gather, int first, float* row,
                                    float wyValue, const Scale& scale) {
  const __m128 wy = _mm_set1_ps(wyValue);
  const __m128 scale4 = _mm_loadu_ps(scale.data());
  const __m256 wy8 = _mm256_set1_ps(wyValue);
  const __m256 scale8 = _mm256_set_m128(scale4, scale4);
  float* sumsAt = row + static_cast<size_t>(first) * 4;
  __m256 pair = _mm256_loadu_ps(sumsAt);  // columns first and first + 1
  __m128 third = _mm_loadu_ps(sumsAt + 8);
  std::uint32_t at[3];
  std::uint32_t end[3];
  for (int k = 0; k < 3; ++k) {
    at[k] = gather.begin[static_cast<size_t>(first + k)];
    end[k] = gather.begin[static_cast<size_t>(first + k) + 1];
  }
  const std::uint32_t common = std::min({end[0] - at[0], end[1] - at[1], end[2] - at[2]});
  const std::uint32_t* x = reinterpret_cast<const std::uint32_t*>(gather.sourceX.data());
  for (std::uint32_t i = 0; i < common; ++i) {
    const std::uint32_t a = at[0] + i, b = at[1] + i;
    const __m256i widened = _mm256_inserti128_si256(
        _mm256_castsi128_si256(WidenPixel(source + static_cast<size_t>(x[a]) * 4)),
        WidenPixel(source + static_cast<size_t>(x[b]) * 4), 1);
    const __m256 pixels = _mm256_mul_ps(_mm256_cvtepi32_ps(widened), scale8);
    const __m256 weights = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_load_ps(gather.weight[a].v)),
                                                _mm_load_ps(gather.weight[b].v), 1);
    pair = _mm256_add_ps(pair, _mm256_mul_ps(_mm256_mul_ps(weights, wy8), pixels));
    third = _mm_add_ps(third, ContributionAvx2(source, gather, at[2] + i, wy, scale4));
  }
  __m128 sums[3] = {_mm256_castps256_ps128(pair), _mm256_extractf128_ps(pair, 1), third};
  for (int k = 0; k < 3; ++k) {
    for (std::uint32_t i = at[k] + common; i < end[k]; ++i) {
      sums[k] = _mm_add_ps(sums[k], ContributionAvx2(source, gather, i, wy, scale4));
    }
    _mm_storeu_ps(sumsAt + k * 4, sums[k]);
  }
}

bool HaveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}
#else
bool HaveAvx2() { return false; }
template <typename Sample>
void GatherTripleAvx2(const Sample*, const ColumnGather&, int, float*, float, const Scale&) {}
#endif

template <typename Sample>
void GatherRow(const Sample* source, const ColumnGather& gather, float* row, float wy, const Scale& scale,
               bool wide) {
  const __m128i zero = _mm_setzero_si128();
  const __m128 scaleLanes = _mm_loadu_ps(scale.data());
  const __m128 wyLanes = _mm_set1_ps(wy);
  const int destinations = static_cast<int>(gather.begin.size()) - 1;
  int d = 0;
  if (wide && HaveAvx2()) {
    for (; d + 3 <= destinations; d += 3) GatherTripleAvx2(source, gather, d, row, wy, scale);
  }
  for (; d + 3 <= destinations; d += 3) GatherChains<Sample, 3>(source, gather, d, row, wyLanes, scaleLanes, zero);
  for (; d < destinations; ++d) GatherChains<Sample, 1>(source, gather, d, row, wyLanes, scaleLanes, zero);
}

template <typename Sample>
void AccumulateRowSimd(const Sample* source, const FilterWeights& columns, const RowTargets& targets,
                       const Scale& scale) {
  const int width = columns.SourceLength();
  const size_t rowCount = targets.rows.size();
  const __m128i zero = _mm_setzero_si128();
  const __m128 scaleLanes = _mm_loadu_ps(scale.data());
  for (int x = 0; x < width; ++x) {
    const __m128 pixel = _mm_mul_ps(LoadPixel(source + static_cast<size_t>(x) * 4, zero), scaleLanes);
    const FilterWeight* columnBegin = columns.Begin(x);
    const FilterWeight* columnEnd = columns.End(x);
    for (size_t r = 0; r < rowCount; ++r) {
      float* row = targets.rows[r];
      const float wy = targets.weights[r];
      for (const FilterWeight* e = columnBegin; e != columnEnd; ++e) {
        const __m128 w = _mm_set1_ps(e->weight * wy);
        float* accumulator = row + static_cast<size_t>(e->index) * 4;
        _mm_storeu_ps(accumulator, _mm_add_ps(_mm_loadu_ps(accumulator), _mm_mul_ps(w, pixel)));
      }
    }
  }
}
#endif

template <typename Sample>
void AccumulateRow(const Sample* source, const FilterWeights& columns, const RowTargets& targets,
                   const Scale& scale, ResampleKernel kernel) {
#if TINTWISE_HAVE_SSE2
  if (kernel != ResampleKernel::kScalar) {
    AccumulateRowSimd(source, columns, targets, scale);
    return;
  }
#else
  (void)kernel;
#endif
  AccumulateRowScalar(source, columns, targets, scale);
}

bool DistinctIndices(const FilterWeight* begin, const FilterWeight* end) {
  for (const FilterWeight* a = begin; a != end; ++a) {
    for (const FilterWeight* b = a + 1; b != end; ++b) {
      if (a->index == b->index) return false;
    }
  }
  return true;
}

Scale ChannelScale(const std::array<std::uint16_t, 4>& channelMax) {
  Scale scale{};
  for (size_t c = 0; c < 4; ++c) {
    const std::uint16_t max = channelMax[c];
    scale[c] = max == 0 ? 0.0f : 1.0f / static_cast<float>(max);
  }
  return scale;
}

}  // namespace

// Everything the reduction keeps between rows: the filter weights, the
// accumulators of destination rows still being summed, the finished pixels.
struct RowResampler::State {
  RowLayout layout;
  int width = 0;
  int height = 0;
  ResampleKernel kernel = ResampleKernel::kSimd;
  Scale scale{};
  bool unfiltered = false;
  int nextRow = 0;
  std::vector<std::uint32_t> out;
  // Filtered only:
  std::unique_ptr<FilterWeights> columns;
  std::unique_ptr<FilterWeights> rows;
  std::vector<int> lastUse;  // per destination row: last source row feeding it; -2 once finished
#if TINTWISE_HAVE_SSE2
  std::unique_ptr<ColumnGather> gather;
#endif
  std::vector<std::vector<float>> accumulators;
  RowTargets targets;

  void Finish(int dy) {
    std::vector<float>& sums = accumulators[static_cast<size_t>(dy)];
    if (sums.empty()) sums.assign(static_cast<size_t>(width) * 4, 0.0f);
    std::uint32_t* target = out.data() + static_cast<size_t>(dy) * static_cast<size_t>(width);
    for (int dx = 0; dx < width; ++dx) {
      target[dx] = PackPixel(sums.data() + static_cast<size_t>(dx) * 4, DitherValue(dx, dy, width));
    }
    std::vector<float>().swap(sums);
    lastUse[static_cast<size_t>(dy)] = -2;
  }

  template <typename Sample>
  void Unfiltered(const Sample* row, int y) {
    for (int x = 0; x < width; ++x) {
      float channels[4];
      for (int c = 0; c < 4; ++c) {
        channels[c] = static_cast<float>(row[static_cast<size_t>(x) * 4 + static_cast<size_t>(c)]) *
                      scale[static_cast<size_t>(c)];
      }
      out[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
          PackPixel(channels, DitherValue(x, y, width));
    }
  }

  template <typename Sample>
  void Filtered(const Sample* source, int y) {
    targets.rows.clear();
    targets.weights.clear();
    for (const FilterWeight* e = rows->Begin(y); e != rows->End(y); ++e) {
      std::vector<float>& sums = accumulators[static_cast<size_t>(e->index)];
      if (sums.empty()) sums.assign(static_cast<size_t>(width) * 4, 0.0f);
      targets.rows.push_back(sums.data());
      targets.weights.push_back(e->weight);
    }
#if TINTWISE_HAVE_SSE2
    // Each destination row fed once by this source row takes its additions
    // in gather order; a row fed twice (tiny pictures only) needs the plain
    // interleaving of the two entries.
    if (gather && DistinctIndices(rows->Begin(y), rows->End(y))) {
      for (size_t r = 0; r < targets.rows.size(); ++r) {
        GatherRow(source, *gather, targets.rows[r], targets.weights[r], scale, kernel == ResampleKernel::kSimd);
      }
    } else {
      AccumulateRow(source, *columns, targets, scale, kernel);
    }
#else
    AccumulateRow(source, *columns, targets, scale, kernel);
#endif
    for (const FilterWeight* e = rows->Begin(y); e != rows->End(y); ++e) {
      if (lastUse[static_cast<size_t>(e->index)] == y && !accumulators[static_cast<size_t>(e->index)].empty()) {
        Finish(e->index);
      }
    }
  }
};

RowResampler::RowResampler(const RowLayout& layout, int width, int height, ResampleKernel kernel)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.layout = layout;
  s.width = width;
  s.height = height;
  s.kernel = kernel;
  s.scale = ChannelScale(layout.channelMax);
  s.unfiltered = layout.width == width && layout.height == height;
  s.out.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  if (s.unfiltered) return;
  s.columns = std::make_unique<FilterWeights>(FilterWeights::Build(layout.width, width));
  s.rows = std::make_unique<FilterWeights>(FilterWeights::Build(layout.height, height));
  // A destination row is finished after the last source row that feeds it;
  // only rows in between hold accumulators.
  s.lastUse.assign(static_cast<size_t>(height), -1);
  for (int y = 0; y < layout.height; ++y) {
    for (const FilterWeight* e = s.rows->Begin(y); e != s.rows->End(y); ++e) {
      s.lastUse[static_cast<size_t>(e->index)] = y;
    }
  }
#if TINTWISE_HAVE_SSE2
  if (kernel != ResampleKernel::kScalar) s.gather = std::make_unique<ColumnGather>(*s.columns);
#endif
  s.accumulators.resize(static_cast<size_t>(height));
}

RowResampler::~RowResampler() = default;

void RowResampler::AddRow(const void* samples) {
  State& s = *state_;
  if (s.nextRow >= s.layout.height) return;
  const int y = s.nextRow++;
  if (s.unfiltered) {
    if (s.layout.sixteenBit) {
      s.Unfiltered(static_cast<const std::uint16_t*>(samples), y);
    } else {
      s.Unfiltered(static_cast<const std::uint8_t*>(samples), y);
    }
    return;
  }
  if (s.layout.sixteenBit) {
    s.Filtered(static_cast<const std::uint16_t*>(samples), y);
  } else {
    s.Filtered(static_cast<const std::uint8_t*>(samples), y);
  }
}

int RowResampler::RowsAdded() const { return state_->nextRow; }

std::vector<std::uint32_t> RowResampler::Finish() {
  State& s = *state_;
  if (!s.unfiltered) {
    // Rows no source row fed (possible only through dropped negligible weights).
    for (int dy = 0; dy < s.height; ++dy) {
      if (s.lastUse[static_cast<size_t>(dy)] != -2) s.Finish(dy);
    }
  }
  return std::move(s.out);
}

float DitherValue(int x, int y, int width) {
  const int row = y % 4;
  const int column = (y % 2 == 1) ? (width - 1 - x) % 4 : x % 4;
  return static_cast<float>(kDitherMatrix[row][column]) / 32.0f;
}

std::vector<std::uint32_t> ResampleImage(const DecodedImage& image, int width, int height,
                                         ResampleKernel kernel) {
  RowLayout layout{image.Width(), image.Height(), image.SixteenBit(), image.ChannelMax()};
  RowResampler resampler(layout, width, height, kernel);
  for (int y = 0; y < image.Height(); ++y) {
    if (image.SixteenBit()) {
      resampler.AddRow(image.Row16(y));
    } else {
      resampler.AddRow(image.Row8(y));
    }
  }
  return resampler.Finish();
}

std::array<std::uint8_t, 27> SignatureOfPixels(const std::vector<std::uint32_t>& pixels) {
  std::array<std::uint8_t, 27> signature{};
  for (size_t i = 0; i < 9 && i < pixels.size(); ++i) {
    signature[i * 3] = static_cast<std::uint8_t>(pixels[i] >> 16);
    signature[i * 3 + 1] = static_cast<std::uint8_t>(pixels[i] >> 8);
    signature[i * 3 + 2] = static_cast<std::uint8_t>(pixels[i]);
  }
  return signature;
}

std::array<std::uint8_t, 27> ReduceToSignature(const DecodedImage& image, ResampleKernel kernel) {
  return SignatureOfPixels(ResampleImage(image, 3, 3, kernel));
}
