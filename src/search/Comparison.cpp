#include "search/Comparison.h"

#include "infra/TextEncoding.h"

bool TransformOf(Comparison comparison, GridTransform* transform) {
  const int index = static_cast<int>(comparison);
  if (index >= kGridTransformCount) return false;
  *transform = static_cast<GridTransform>(index);
  return true;
}

std::string_view ComparisonWord(Comparison comparison) {
  static constexpr std::string_view kWords[kComparisonCount] = {
      "same",       "mirrored",   "flipped",        "rotated-180", "rotated-90",
      "rotated-270", "transposed", "antitransposed", "grayscale",   "tone",
      "reframed"};
  return kWords[static_cast<int>(comparison)];
}

const std::string& ComparisonLabel(Comparison comparison) {
  static const SjisText kLabels[kComparisonCount] = {
      SjisText{u8"同一"},         SjisText{u8"左右反転"},     SjisText{u8"上下反転"},
      SjisText{u8"180度回転"},    SjisText{u8"右90度回転"},   SjisText{u8"左90度回転"},
      SjisText{u8"回転と反転"},   SjisText{u8"回転と反転"},   SjisText{u8"白黒"},
      SjisText{u8"明るさ・コントラスト"}, SjisText{u8"切り抜き・枠・傾き"}};
  return kLabels[static_cast<int>(comparison)];
}

ComparisonSet ComparisonSet::All() {
  ComparisonSet set;
  set.on_.fill(true);
  return set;
}

ComparisonSet ComparisonSet::Default() {
  // Each grid comparison costs as much as the plain one. The quarter turns
  // pay only for pictures turned on their side, the half turn and the
  // diagonal mirrors for no edit at all (BENCHMARKS.md); left out, the search
  // stays within three plain ones. The reframed comparison refines only the
  // rows the tone prefilter and the plain ranking bring.
  return PlainOnly()
      .With(Comparison::kMirrored)
      .With(Comparison::kFlipped)
      .With(Comparison::kGrayscale)
      .With(Comparison::kTone)
      .With(Comparison::kReframed);
}
