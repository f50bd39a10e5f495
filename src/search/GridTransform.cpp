#include "search/GridTransform.h"

const std::array<int, 9>& GridTransformCells(GridTransform transform) {
  // Cell (r, c) of the result is cell kCells[t][3r + c] of the original.
  static constexpr std::array<std::array<int, 9>, kGridTransformCount> kCells{{
      {0, 1, 2, 3, 4, 5, 6, 7, 8},  // identity
      {2, 1, 0, 5, 4, 3, 8, 7, 6},  // mirror: (r, 2 - c)
      {6, 7, 8, 3, 4, 5, 0, 1, 2},  // flip: (2 - r, c)
      {8, 7, 6, 5, 4, 3, 2, 1, 0},  // 180 degrees: (2 - r, 2 - c)
      {6, 3, 0, 7, 4, 1, 8, 5, 2},  // 90 clockwise: (2 - c, r)
      {2, 5, 8, 1, 4, 7, 0, 3, 6},  // 90 anticlockwise: (c, 2 - r)
      {0, 3, 6, 1, 4, 7, 2, 5, 8},  // transpose: (c, r)
      {8, 5, 2, 7, 4, 1, 6, 3, 0},  // anti-transpose: (2 - c, 2 - r)
  }};
  return kCells[static_cast<int>(transform)];
}

ImageCache::Colours ApplyGridTransform(GridTransform transform, const ImageCache::Colours& signature) {
  const std::array<int, 9>& cells = GridTransformCells(transform);
  ImageCache::Colours out{};
  for (int cell = 0; cell < 9; ++cell) {
    for (int channel = 0; channel < 3; ++channel) out[3 * cell + channel] = signature[3 * cells[cell] + channel];
  }
  return out;
}

GridTransform InverseOf(GridTransform transform) {
  switch (transform) {
    case GridTransform::kRotate90:
      return GridTransform::kRotate270;
    case GridTransform::kRotate270:
      return GridTransform::kRotate90;
    default:
      return transform;  // every other one is its own inverse
  }
}
