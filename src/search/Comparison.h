#pragma once

#include <array>
#include <string>
#include <string_view>

#include "search/GridTransform.h"

// The ways a query can be compared with a stored signature. Each gives a
// difference on the scale of the plain one (a sum over 27 values), computed
// from the 27 stored values alone.
enum class Comparison {
  kSame,             // the plain difference
  kMirrored,         // the grid turned or mirrored (GridTransform order)
  kFlipped,
  kRotated180,
  kRotated90,
  kRotated270,
  kTransposed,
  kAntiTransposed,
  kGrayscale,        // a gray query against the stored colours' luminance
  kTone,             // brightness and contrast fitted away
  kReframed,         // a small crop, border or turn undone (Reframing)
};

inline constexpr int kComparisonCount = 11;

// For a comparison of the grid kind: how the query's picture was turned or
// mirrored from the stored one (kIdentity for kSame); false for the others.
bool TransformOf(Comparison comparison, GridTransform* transform);

// The word for scripts ("same", "mirrored", "flipped", "rotated-180",
// "rotated-90", "rotated-270", "transposed", "antitransposed", "grayscale",
// "tone", "reframed"); stable, documented for `check`.
std::string_view ComparisonWord(Comparison comparison);
// The word shown to the user, Shift-JIS ("同一", "左右反転", "白黒", ...).
const std::string& ComparisonLabel(Comparison comparison);

// Which comparisons a search runs, beyond the plain one that always runs.
class ComparisonSet {
 public:
  // Only the plain difference.
  static ComparisonSet PlainOnly() { return ComparisonSet(); }
  // The comparisons the effectiveness benchmark showed to pay.
  static ComparisonSet Default();
  static ComparisonSet All();

  ComparisonSet& With(Comparison comparison, bool on = true) {
    on_[static_cast<int>(comparison)] = on || comparison == Comparison::kSame;
    return *this;
  }
  bool Has(Comparison comparison) const { return on_[static_cast<int>(comparison)]; }

 private:
  ComparisonSet() { on_[0] = true; }
  std::array<bool, kComparisonCount> on_{};
};
