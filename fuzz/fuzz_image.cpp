// A picture file of one format (chosen at build time by FUZZ_DECODER): its
// decoder, then the 3 x 3 reduction that makes the signature. Every
// reduction kernel must give the same signature.
#include <cstdint>
#include <span>
#include <string>

#include FUZZ_DECODER_HEADER
#include "FuzzSupport.h"
#include "imaging/DecodedImage.h"
#include "imaging/ImageDecoder.h"
#include "imaging/Resampler.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> file(data, size);
  DecodedImage image;
  std::string error;
  if (!FUZZ_DECODER(file, &image, &error)) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  FUZZ_CHECK(!image.Empty());
  FUZZ_CHECK(DecodedImage::SizeAcceptable(static_cast<std::uint64_t>(image.Width()),
                                          static_cast<std::uint64_t>(image.Height())));
  // Every sample stays within its channel's maximum.
  const auto& max = image.ChannelMax();
  for (int c = 0; c < 4; ++c) {
    FUZZ_CHECK(image.Sample(0, 0, c) <= max[static_cast<std::size_t>(c)]);
    FUZZ_CHECK(image.Sample(image.Width() - 1, image.Height() - 1, c) <= max[static_cast<std::size_t>(c)]);
  }

  // A few dozen bytes can make tens of megapixels (within the decoders'
  // limit, and bounded: tests cover them); reducing those under the
  // sanitizers takes many seconds and would stall the search for new paths,
  // so the reduction runs on pictures up to 16 megapixels, and the kernels
  // are compared up to one.
  const std::uint64_t pixels = static_cast<std::uint64_t>(image.Width()) * static_cast<std::uint64_t>(image.Height());
  if (pixels > 16'000'000) return 0;
  const auto simd = ReduceToSignature(image, ResampleKernel::kSimd);
  if (pixels <= 1'000'000) {
    FUZZ_CHECK(ReduceToSignature(image, ResampleKernel::kScalar) == simd);
    FUZZ_CHECK(ReduceToSignature(image, ResampleKernel::kSse2) == simd);
  }
  return 0;
}
