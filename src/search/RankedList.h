#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "search/SimilaritySearch.h"

// The closest rows seen so far: at most `capacity` hits, ascending by
// difference, equal differences in row order. Rows must be offered in table
// order. Not thread-safe; one list per search.
class RankedList {
 public:
  explicit RankedList(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {
    hits_.reserve(capacity_);
  }

  // A row enters only with a difference below this.
  std::int64_t Bound() const {
    return hits_.size() < capacity_ ? std::numeric_limits<std::int64_t>::max() : hits_.back().difference;
  }

  void Offer(std::size_t row, std::int64_t difference) {
    if (difference >= Bound()) return;
    std::size_t at = hits_.size();
    while (at > 0 && hits_[at - 1].difference > difference) --at;
    if (hits_.size() == capacity_) hits_.pop_back();
    hits_.insert(hits_.begin() + static_cast<std::ptrdiff_t>(at), SearchHit{row, difference});
  }

  const std::vector<SearchHit>& Hits() const { return hits_; }

 private:
  std::size_t capacity_;
  std::vector<SearchHit> hits_;
};
