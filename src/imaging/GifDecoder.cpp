#include "imaging/GifDecoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include <gif_lib.h>

#include "imaging/DecodedImageSink.h"

namespace {

// giflib asks for a few bytes at a time; they come from a block buffer.
class BufferedInput {
 public:
  explicit BufferedInput(ImageSource& source) : source_(source), buffer_(64 * 1024) {}
  int Read(GifByteType* target, int length) {
    int done = 0;
    while (done < length) {
      if (position_ == filled_) {
        filled_ = source_.Read(buffer_.data(), buffer_.size());
        position_ = 0;
        if (filled_ == 0) break;
      }
      const size_t count = std::min(static_cast<size_t>(length - done), filled_ - position_);
      std::memcpy(target + done, buffer_.data() + position_, count);
      position_ += count;
      done += static_cast<int>(count);
    }
    return done;
  }

 private:
  ImageSource& source_;
  std::vector<std::uint8_t> buffer_;
  size_t position_ = 0;
  size_t filled_ = 0;
};

extern "C" int ReadGifBytes(GifFileType* gif, GifByteType* target, int length) {
  if (length <= 0) return 0;
  return static_cast<BufferedInput*>(gif->UserData)->Read(target, length);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

bool Fail(ImageError* error, const std::string& reason) {
  return ImageError::Fail(error, ImageErrorKind::kDamaged, reason);
}

std::string LibraryError(int code) {
  const char* text = GifErrorString(code);
  return std::string("GIF: ") + (text ? text : "unknown error");
}

using Palette = std::array<std::array<std::uint8_t, 3>, 256>;

Palette ToPalette(const ColorMapObject* map) {
  Palette palette{};  // entries beyond the map read as black
  if (!map || !map->Colors) return palette;
  const int count = std::min(map->ColorCount, 256);
  for (int i = 0; i < count; ++i) {
    palette[static_cast<size_t>(i)] = {map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue};
  }
  return palette;
}

}  // namespace

bool DecodeGif(ImageSource& source, RowSink& sink, ImageError* error) {
  std::uint8_t magic[3] = {};
  if (source.Size() < 6 || !source.ReadAt(0, magic, 3) || std::memcmp(magic, "GIF", 3) != 0) {
    return Fail(error, "GIF: missing signature");
  }
  BufferedInput input(source);
  int openError = 0;
  GifHandle gif(DGifOpen(&input, ReadGifBytes, &openError));
  if (!gif) return Fail(error, LibraryError(openError));

  // Skip extensions up to the first image.
  GifRecordType record = UNDEFINED_RECORD_TYPE;
  for (;;) {
    if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR) return Fail(error, LibraryError(gif->Error));
    if (record == IMAGE_DESC_RECORD_TYPE) break;
    if (record == TERMINATE_RECORD_TYPE) return Fail(error, "GIF: no frame in the file");
    if (record == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* extension = nullptr;
      if (DGifGetExtension(gif.get(), &code, &extension) == GIF_ERROR) return Fail(error, LibraryError(gif->Error));
      while (extension != nullptr) {
        if (DGifGetExtensionNext(gif.get(), &extension) == GIF_ERROR) return Fail(error, LibraryError(gif->Error));
      }
    }
  }
  if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return Fail(error, LibraryError(gif->Error));

  const GifImageDesc& frame = gif->Image;
  if (frame.Width <= 0 || frame.Height <= 0) return Fail(error, "GIF: empty frame");
  const std::int64_t frameRight = static_cast<std::int64_t>(frame.Left) + frame.Width;
  const std::int64_t frameBottom = static_cast<std::int64_t>(frame.Top) + frame.Height;
  int width = gif->SWidth;
  int height = gif->SHeight;
  int left = frame.Left;
  int top = frame.Top;
  if (frameRight > width || frameBottom > height) {
    width = frame.Width;
    height = frame.Height;
    left = 0;
    top = 0;
  }
  const RowLayout layout{width, height, false, {255, 255, 255, 255}};
  if (!StartRows(sink, layout, "GIF", error)) return false;

  const Palette global = ToPalette(gif->SColorMap);
  const Palette palette = frame.ColorMap ? ToPalette(frame.ColorMap) : global;
  const auto& background = global[static_cast<size_t>(gif->SBackGroundColor & 0xFF)];
  // Rows above, below and beside the frame show the background.
  int nextRow = 0;
  auto emitBackgroundRows = [&](int until) {
    for (; nextRow < until; ++nextRow) {
      std::uint8_t* row = static_cast<std::uint8_t*>(sink.NextRow());
      for (int x = 0; x < width; ++x) {
        std::memcpy(row + static_cast<size_t>(x) * 4, background.data(), 3);
        row[static_cast<size_t>(x) * 4 + 3] = 255;
      }
      sink.CommitRow();
    }
  };
  auto emitFrameRow = [&](const GifPixelType* indices) {
    std::uint8_t* row = static_cast<std::uint8_t*>(sink.NextRow());
    for (int x = 0; x < width; ++x) {
      const bool inside = x >= left && x < left + frame.Width;
      const auto& colour = inside ? palette[indices[x - left]] : background;
      std::memcpy(row + static_cast<size_t>(x) * 4, colour.data(), 3);
      row[static_cast<size_t>(x) * 4 + 3] = 255;
    }
    sink.CommitRow();
    ++nextRow;
  };

  emitBackgroundRows(top);
  const size_t frameWidth = static_cast<size_t>(frame.Width);
  if (frame.Interlace) {
    // The four passes each cover the whole frame: its indices are held until the last.
    std::vector<GifPixelType> indices(frameWidth * static_cast<size_t>(frame.Height));
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
      for (int y = kStart[pass]; y < frame.Height; y += kStep[pass]) {
        if (DGifGetLine(gif.get(), indices.data() + frameWidth * static_cast<size_t>(y), frame.Width) == GIF_ERROR) {
          return Fail(error, LibraryError(gif->Error));
        }
      }
    }
    for (int y = 0; y < frame.Height; ++y) emitFrameRow(indices.data() + frameWidth * static_cast<size_t>(y));
  } else {
    std::vector<GifPixelType> line(frameWidth);
    for (int y = 0; y < frame.Height; ++y) {
      if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR) return Fail(error, LibraryError(gif->Error));
      emitFrameRow(line.data());
    }
  }
  emitBackgroundRows(height);
  return true;
}

bool DecodeGif(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error) {
  return DecodeWhole(DecodeGif, data, out, error);
}
