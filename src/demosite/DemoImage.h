#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// An 8-bit RGB picture, rows top to bottom, 3 bytes per pixel.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;

  std::uint8_t* At(int x, int y) { return &pixels[(static_cast<size_t>(y) * width + x) * 3]; }
};

// The picture of one demo entry: a composition (gradients, shapes, stripes,
// checks, noise) and a size chosen from `seed` alone, so that the same seed
// always gives the same pixels.
RgbImage RenderDemoImage(std::uint64_t seed);
