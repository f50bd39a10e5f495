#include "imaging/FilterWeights.h"

#include <algorithm>
#include <cmath>

namespace {

// Entries lighter than this are dropped (the single-precision value nearest
// to 0.00001).
constexpr float kNegligibleWeight = 0.00001f;

int WrapIndex(long long n, int length) {
  // The tent never reaches further than one length beyond either edge; the
  // modulo only guards against a caller-supplied pathological ratio.
  if (n < 0) n += length;
  if (n >= length) n -= length;
  if (n < 0 || n >= length) n = ((n % length) + length) % length;
  return static_cast<int>(n);
}

}  // namespace

FilterWeights FilterWeights::Build(int sourceLength, int destinationLength) {
  FilterWeights table;
  table.destinationLength_ = destinationLength;
  table.offsets_.reserve(static_cast<size_t>(sourceLength) + 1);
  table.entries_.reserve(static_cast<size_t>(sourceLength) * 2);
  table.offsets_.push_back(0);

  const float b = static_cast<float>(destinationLength) / static_cast<float>(sourceLength);
  const float h = 0.5f / b;

  for (int i = 0; i < sourceLength; ++i) {
    bool open = false;
    int openIndex = 0;
    float openWeight = 0.0f;
    auto close = [&] {
      if (open && openWeight > kNegligibleWeight) table.entries_.push_back({openIndex, openWeight});
      open = false;
    };
    for (int k = 0; k < 2; ++k) {
      const float f = static_cast<float>(i) - 0.5f + static_cast<float>(k);
      const float start = f * b;
      const float end = start + b;
      for (long long n = static_cast<long long>(std::floor(start)); static_cast<float>(n) < end; ++n) {
        const int cell = WrapIndex(n, destinationLength);
        const float lo = std::max(static_cast<float>(n), start);
        const float hi = std::min(static_cast<float>(n + 1), end);
        const float t = (lo + hi) * h - f;
        const float span = hi - lo;
        const float weight = k == 0 ? span * t : span * (1.0f - t);
        if (open && cell == openIndex) {
          openWeight = openWeight + weight;
        } else {
          close();
          open = true;
          openIndex = cell;
          openWeight = weight;
        }
      }
    }
    close();
    table.offsets_.push_back(static_cast<std::uint32_t>(table.entries_.size()));
  }
  return table;
}
