#pragma once

#include <array>

#include "imaging/ImageCache.h"

// The eight rotations and reflections of the 3 x 3 grid a signature holds.
// Applied to a picture's signature they give, value for value, the signature
// of the picture turned or mirrored that way: the reduction averages each
// third of the picture on its own, so turning the picture only moves the
// cells (the values inside a cell stay in red, green, blue order).
enum class GridTransform {
  kIdentity,
  kMirror,         // left and right swapped
  kFlip,           // top and bottom swapped
  kRotate180,
  kRotate90,       // a quarter turn clockwise
  kRotate270,      // a quarter turn anticlockwise
  kTranspose,      // mirrored along the top-left to bottom-right diagonal
  kAntiTranspose,  // mirrored along the other diagonal
};

inline constexpr int kGridTransformCount = 8;

// For every cell of the transformed grid (row-major, 0..8), the cell of the
// original it shows.
const std::array<int, 9>& GridTransformCells(GridTransform transform);

// The signature of the picture transformed by `transform`.
ImageCache::Colours ApplyGridTransform(GridTransform transform, const ImageCache::Colours& signature);

// The transform that undoes `transform`.
GridTransform InverseOf(GridTransform transform);
