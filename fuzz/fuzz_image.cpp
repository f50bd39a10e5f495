// A picture file of one format (chosen at build time by FUZZ_DECODER): its
// decoder, then the 3 x 3 reduction that makes the signature. Every
// reduction kernel, and the row-by-row reduction the program uses (on a
// second thread), must give the same signature.
#include <cstdint>
#include <span>
#include <string>

#include FUZZ_DECODER_HEADER
#include "FuzzSupport.h"
#include "imaging/DecodedImage.h"
#include "imaging/DecodedImageSink.h"
#include "imaging/ImageDecoder.h"
#include "imaging/ImageSource.h"
#include "imaging/Resampler.h"
#include "imaging/ReductionSink.h"

namespace {

// A few dozen bytes can make hundreds of megapixels (within the decoders'
// limit, and bounded: tests cover them); decoding and reducing those under
// the sanitizers takes minutes and would stall the search for new paths.
// Pictures up to 16 megapixels are kept and reduced; up to 100 they are
// decoded and their rows dropped; larger ones stop after the header.
constexpr std::uint64_t kKeptPixels = 16'000'000;
constexpr std::uint64_t kDecodedPixels = 100'000'000;

class FuzzSink : public RowSink {
 public:
  explicit FuzzSink(DecodedImage* image) : keep_(image) {}
  bool Begin(const RowLayout& layout) override {
    const std::uint64_t pixels = static_cast<std::uint64_t>(layout.width) * static_cast<std::uint64_t>(layout.height);
    if (pixels > kDecodedPixels) return false;
    kept_ = pixels <= kKeptPixels;
    if (kept_) return keep_.Begin(layout);
    row_.resize(layout.RowBytes());
    return true;
  }
  void* NextRow() override { return kept_ ? keep_.NextRow() : row_.data(); }
  void CommitRow() override {
    if (kept_) keep_.CommitRow();
  }
  bool Kept() const { return kept_; }

 private:
  DecodedImageSink keep_;
  bool kept_ = false;
  std::string row_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> file(data, size);
  MemoryImageSource source(file);
  DecodedImage image;
  FuzzSink sink(&image);
  ImageError error;
  if (!FUZZ_DECODER(source, sink, &error)) {
    FUZZ_CHECK(!error.detail.empty());
    return 0;
  }
  if (!sink.Kept()) return 0;
  FUZZ_CHECK(!image.Empty());
  FUZZ_CHECK(DecodedImage::SizeAcceptable(static_cast<std::uint64_t>(image.Width()),
                                          static_cast<std::uint64_t>(image.Height())));
  // Every sample stays within its channel's maximum.
  const auto& max = image.ChannelMax();
  for (int c = 0; c < 4; ++c) {
    FUZZ_CHECK(image.Sample(0, 0, c) <= max[static_cast<std::size_t>(c)]);
    FUZZ_CHECK(image.Sample(image.Width() - 1, image.Height() - 1, c) <= max[static_cast<std::size_t>(c)]);
  }

  const auto simd = ReduceToSignature(image, ResampleKernel::kSimd);
  // The program's own path: decoded again, reduced as the rows arrive.
  MemoryImageSource again(file);
  ReductionSink reduction([](const RowLayout&) { return std::pair{3, 3}; });
  FUZZ_CHECK(FUZZ_DECODER(again, reduction, &error));
  FUZZ_CHECK(SignatureOfPixels(reduction.Finish()) == simd);
  const std::uint64_t pixels = static_cast<std::uint64_t>(image.Width()) * static_cast<std::uint64_t>(image.Height());
  if (pixels <= 1'000'000) {
    FUZZ_CHECK(ReduceToSignature(image, ResampleKernel::kScalar) == simd);
    FUZZ_CHECK(ReduceToSignature(image, ResampleKernel::kSse2) == simd);
  }
  return 0;
}
