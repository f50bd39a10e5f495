#include "imaging/WebpDecoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <webp/decode.h>
#include <webp/demux.h>

#include "imaging/DecodedImageSink.h"
#include "infra/ReservedPages.h"

namespace {

bool Fail(ImageError* error, const std::string& reason) {
  return ImageError::Fail(error, ImageErrorKind::kDamaged, reason);
}

constexpr size_t kInputBlock = 64 * 1024;

struct AnimDecoderDeleter {
  void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

struct IncrementalDeleter {
  void operator()(WebPIDecoder* decoder) const { WebPIDelete(decoder); }
};

// An animation is read whole and composed by the library on its canvas.
bool DecodeFirstFrame(ImageSource& input, RowSink& sink, ImageError* error) {
  std::vector<std::uint8_t> bytes(static_cast<size_t>(input.Size()));
  if (!input.ReadAt(0, bytes.data(), bytes.size())) return Fail(error, "WebP: cannot read the file");
  WebPData webpData{bytes.data(), bytes.size()};
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return Fail(error, "WebP: library version mismatch");
  options.color_mode = MODE_RGBA;
  options.use_threads = 0;
  std::unique_ptr<WebPAnimDecoder, AnimDecoderDeleter> decoder(WebPAnimDecoderNew(&webpData, &options));
  if (!decoder) return Fail(error, "WebP: cannot read the animation");
  WebPAnimInfo info;
  if (!WebPAnimDecoderGetInfo(decoder.get(), &info)) return Fail(error, "WebP: cannot read the animation");
  const RowLayout layout{static_cast<int>(std::min<std::uint32_t>(info.canvas_width, 1u << 30)),
                         static_cast<int>(std::min<std::uint32_t>(info.canvas_height, 1u << 30)), false,
                         {255, 255, 255, 255}};
  if (!DecodedImage::SizeAcceptable(info.canvas_width, info.canvas_height)) {
    return ImageError::Fail(error, ImageErrorKind::kTooLarge, "WebP: picture too large");
  }
  std::uint8_t* frame = nullptr;
  int timestamp = 0;
  if (!WebPAnimDecoderGetNext(decoder.get(), &frame, &timestamp) || frame == nullptr) {
    return Fail(error, "WebP: cannot decode the first frame");
  }
  if (!StartRows(sink, layout, "WebP", error)) return false;
  const size_t rowBytes = layout.RowBytes();
  for (int y = 0; y < layout.height; ++y) {
    std::memcpy(sink.NextRow(), frame + static_cast<size_t>(y) * rowBytes, rowBytes);
    sink.CommitRow();
  }
  return true;
}

}  // namespace

bool DecodeWebp(ImageSource& input, RowSink& sink, ImageError* error) {
  std::vector<std::uint8_t> block(kInputBlock);
  const size_t headBytes = static_cast<size_t>(std::min<std::uint64_t>(input.Size(), kInputBlock));
  if (!input.ReadAt(0, block.data(), headBytes)) return Fail(error, "WebP: cannot read the file");
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(block.data(), headBytes, &features) != VP8_STATUS_OK) {
    return Fail(error, "WebP: not a readable WebP file");
  }
  if (features.has_animation) return DecodeFirstFrame(input, sink, error);
  if (!DecodedImage::SizeAcceptable(static_cast<std::uint64_t>(features.width),
                                    static_cast<std::uint64_t>(features.height))) {
    return ImageError::Fail(error, ImageErrorKind::kTooLarge, "WebP: picture too large");
  }
  const RowLayout layout{features.width, features.height, false, {255, 255, 255, 255}};
  const size_t rowBytes = layout.RowBytes();
  const size_t size = rowBytes * static_cast<size_t>(features.height);
  ReservedPages output(size);
  if (!output.Data()) return Fail(error, "WebP: out of memory");

  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return Fail(error, "WebP: library version mismatch");
  config.output.colorspace = MODE_RGBA;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = output.Data();
  config.output.u.RGBA.stride = static_cast<int>(rowBytes);
  config.output.u.RGBA.size = size;
  std::unique_ptr<WebPIDecoder, IncrementalDeleter> decoder(WebPIDecode(nullptr, 0, &config));
  if (!decoder) return Fail(error, "WebP: out of memory");
  if (!StartRows(sink, layout, "WebP", error)) return false;

  int handedOn = 0;
  VP8StatusCode status = VP8_STATUS_SUSPENDED;
  while (status == VP8_STATUS_SUSPENDED) {
    const size_t count = input.Read(block.data(), block.size());
    if (count == 0) return Fail(error, "WebP: file ends before the picture does");
    status = WebPIAppend(decoder.get(), block.data(), count);
    if (status != VP8_STATUS_OK && status != VP8_STATUS_SUSPENDED) {
      return Fail(error, "WebP: cannot decode the picture (damaged or truncated)");
    }
    int lastRow = 0;
    if (WebPIDecGetRGB(decoder.get(), &lastRow, nullptr, nullptr, nullptr) == nullptr) continue;
    lastRow = std::min(lastRow, layout.height);
    for (; handedOn < lastRow; ++handedOn) {
      std::memcpy(sink.NextRow(), output.Data() + rowBytes * static_cast<size_t>(handedOn), rowBytes);
      sink.CommitRow();
    }
    output.ReleaseBelow(rowBytes * static_cast<size_t>(handedOn));
  }
  if (handedOn != layout.height) return Fail(error, "WebP: cannot decode the picture (damaged or truncated)");
  return true;
}

bool DecodeWebp(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error) {
  return DecodeWhole(DecodeWebp, data, out, error);
}
