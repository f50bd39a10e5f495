#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One source pixel's share of one destination pixel along an axis.
struct FilterWeight {
  int index;     // destination pixel, 0 .. destination length - 1
  float weight;  // in destination pixels (the shares of a destination sum to 1)
};

// The triangle filter's weight lists along one axis: for every source index,
// the destination pixels it feeds and how much, in the order the resampler
// must add them. Each source pixel is a tent of height 1 spread over two
// destination-scaled source widths; the edges wrap around, so the first
// source pixel also feeds the last destination pixel and the last source
// pixel the first. All arithmetic is single precision, step by step, because
// stored signatures were made that way: do not "simplify" the expressions.
class FilterWeights {
 public:
  // REQUIRES: sourceLength >= 1, destinationLength >= 1.
  static FilterWeights Build(int sourceLength, int destinationLength);

  int SourceLength() const { return static_cast<int>(offsets_.size()) - 1; }
  int DestinationLength() const { return destinationLength_; }
  // The list of source index i: [Begin(i), End(i)).
  const FilterWeight* Begin(int i) const { return entries_.data() + offsets_[static_cast<size_t>(i)]; }
  const FilterWeight* End(int i) const { return entries_.data() + offsets_[static_cast<size_t>(i) + 1]; }

 private:
  int destinationLength_ = 0;
  std::vector<std::uint32_t> offsets_;
  std::vector<FilterWeight> entries_;
};
