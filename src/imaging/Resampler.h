#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <memory>

#include "imaging/DecodedImage.h"
#include "imaging/RowSink.h"

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
// The whole picture in memory: the plain form of RowResampler.
std::vector<std::uint32_t> ResampleImage(const DecodedImage& image, int width, int height,
                                         ResampleKernel kernel = ResampleKernel::kSimd);

// The same resize fed one source row at a time, top to bottom, as a decoder
// produces them: it keeps the filter weights, the accumulators of the
// destination rows still being summed and the result, never a source row.
// The additions happen in the same order as in ResampleImage, so the result
// is bit-identical. One thread at a time (it may move between threads).
class RowResampler {
 public:
  // REQUIRES: layout.width, layout.height, width and height >= 1.
  RowResampler(const RowLayout& layout, int width, int height, ResampleKernel kernel = ResampleKernel::kSimd);
  ~RowResampler();
  RowResampler(const RowResampler&) = delete;
  RowResampler& operator=(const RowResampler&) = delete;

  // The next source row: layout.width * 4 samples of the layout's depth.
  // Rows beyond layout.height are ignored.
  void AddRow(const void* samples);
  int RowsAdded() const;
  // The width * height result, 0xAARRGGBB; call once, after the last row.
  std::vector<std::uint32_t> Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The dither value, in 0..1, added to destination pixel (x, y) of a picture
// `width` pixels wide: the 4 x 4 ordered-dither matrix in 32nds, odd rows
// taken from right to left.
float DitherValue(int x, int y, int width);

// The colour signature of a picture: red, green and blue of the 3 x 3
// resampled picture, top-left pixel first, row by row.
// Red, green and blue of the first nine of `pixels` (a 3 x 3 result).
std::array<std::uint8_t, 27> SignatureOfPixels(const std::vector<std::uint32_t>& pixels);

std::array<std::uint8_t, 27> ReduceToSignature(const DecodedImage& image,
                                               ResampleKernel kernel = ResampleKernel::kSimd);
