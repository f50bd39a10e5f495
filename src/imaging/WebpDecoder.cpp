#include "imaging/WebpDecoder.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <webp/decode.h>
#include <webp/demux.h>

#include "imaging/DecodedImageSink.h"

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

// The incremental decoder's output: the whole picture's address space,
// mapped but only touched where rows are being decoded; rows already handed
// on are given back to the system, so few pages are resident at a time.
class OutputPages {
 public:
  explicit OutputPages(size_t size) : size_(size) {
    void* pages = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    data_ = pages == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(pages);
  }
  ~OutputPages() {
    if (data_) ::munmap(data_, size_);
  }
  OutputPages(const OutputPages&) = delete;
  OutputPages& operator=(const OutputPages&) = delete;

  std::uint8_t* Data() const { return data_; }
  // Releases the whole pages below byte `end`.
  void ReleaseBelow(size_t end) {
    static const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    const size_t until = end / page * page;
    if (until > released_) {
      ::madvise(data_ + released_, until - released_, MADV_DONTNEED);
      released_ = until;
    }
  }

 private:
  std::uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t released_ = 0;
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
  OutputPages output(size);
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
