#include "imaging/WebpDecoder.h"

#include <cstring>
#include <memory>

#include <webp/decode.h>
#include <webp/demux.h>

namespace {

bool Fail(std::string* error, const std::string& reason) {
  if (error) *error = reason;
  return false;
}

struct AnimDecoderDeleter {
  void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

bool DecodeFirstFrame(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error) {
  WebPData webpData{data.data(), data.size()};
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return Fail(error, "WebP: library version mismatch");
  options.color_mode = MODE_RGBA;
  options.use_threads = 0;
  std::unique_ptr<WebPAnimDecoder, AnimDecoderDeleter> decoder(WebPAnimDecoderNew(&webpData, &options));
  if (!decoder) return Fail(error, "WebP: cannot read the animation");
  WebPAnimInfo info;
  if (!WebPAnimDecoderGetInfo(decoder.get(), &info)) return Fail(error, "WebP: cannot read the animation");
  if (!DecodedImage::SizeAcceptable(info.canvas_width, info.canvas_height)) {
    return Fail(error, "WebP: picture too large");
  }
  std::uint8_t* frame = nullptr;
  int timestamp = 0;
  if (!WebPAnimDecoderGetNext(decoder.get(), &frame, &timestamp) || frame == nullptr) {
    return Fail(error, "WebP: cannot decode the first frame");
  }
  const int width = static_cast<int>(info.canvas_width);
  const int height = static_cast<int>(info.canvas_height);
  out->Allocate(width, height, false);
  for (int y = 0; y < height; ++y) {
    std::memcpy(out->Row8(y), frame + static_cast<size_t>(y) * static_cast<size_t>(width) * 4,
                static_cast<size_t>(width) * 4);
  }
  return true;
}

}  // namespace

bool DecodeWebp(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error) {
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(data.data(), data.size(), &features) != VP8_STATUS_OK) {
    return Fail(error, "WebP: not a readable WebP file");
  }
  if (features.has_animation) return DecodeFirstFrame(data, out, error);
  if (!DecodedImage::SizeAcceptable(static_cast<std::uint64_t>(features.width),
                                    static_cast<std::uint64_t>(features.height))) {
    return Fail(error, "WebP: picture too large");
  }
  out->Allocate(features.width, features.height, false);
  const size_t stride = static_cast<size_t>(features.width) * 4;
  const size_t size = stride * static_cast<size_t>(features.height);
  if (!WebPDecodeRGBAInto(data.data(), data.size(), out->Row8(0), size, static_cast<int>(stride))) {
    return Fail(error, "WebP: cannot decode the picture (damaged or truncated)");
  }
  return true;
}
