#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "imaging/DecodedImage.h"

// How the accumulation loop runs. Both give bit-identical results: the SIMD
// kernel adds the four channels of a pixel side by side, each channel in the
// same order as the plain loop.
enum class ResampleKernel {
  kScalar,
  kSimd,  // the widest available: AVX2 or SSE2 on x86-64; elsewhere the scalar loop
  kSse2,  // SSE2 even where AVX2 is available (kept testable on such machines)
};

// Resizes a decoded picture with the texture loader's default filter: the
// triangle filter of FilterWeights on both axes, channels clamped to 0..1,
// then each channel scaled to 255, the ordered-dither value of its
// destination pixel added and the sum truncated to a byte. A picture already
// of the destination size is not filtered, only converted. Every step is
// single precision, in the order that stored signatures were made with.
//
// Returns width * height pixels as 0xAARRGGBB, top row first.
// REQUIRES: !image.Empty(), width >= 1, height >= 1.
// Memory: besides the result, only the destination rows still being summed.
std::vector<std::uint32_t> ResampleImage(const DecodedImage& image, int width, int height,
                                         ResampleKernel kernel = ResampleKernel::kSimd);

// The dither value, in 0..1, added to destination pixel (x, y) of a picture
// `width` pixels wide: the 4 x 4 ordered-dither matrix in 32nds, odd rows
// taken from right to left.
float DitherValue(int x, int y, int width);

// The colour signature of a picture: red, green and blue of the 3 x 3
// resampled picture, top-left pixel first, row by row.
std::array<std::uint8_t, 27> ReduceToSignature(const DecodedImage& image,
                                               ResampleKernel kernel = ResampleKernel::kSimd);
