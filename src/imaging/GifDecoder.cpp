#include "imaging/GifDecoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include <gif_lib.h>

namespace {

struct MemoryInput {
  const std::uint8_t* data;
  size_t size;
  size_t position;
};

extern "C" int ReadGifBytes(GifFileType* gif, GifByteType* target, int length) {
  MemoryInput* input = static_cast<MemoryInput*>(gif->UserData);
  if (length <= 0) return 0;
  const size_t count = std::min(static_cast<size_t>(length), input->size - input->position);
  std::memcpy(target, input->data + input->position, count);
  input->position += count;
  return static_cast<int>(count);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

bool Fail(std::string* error, const std::string& reason) {
  if (error) *error = reason;
  return false;
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

bool DecodeGif(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error) {
  if (data.size() < 6 || std::memcmp(data.data(), "GIF", 3) != 0) return Fail(error, "GIF: missing signature");
  MemoryInput input{data.data(), data.size(), 0};
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
  if (!DecodedImage::SizeAcceptable(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height))) {
    return Fail(error, "GIF: picture too large");
  }

  const Palette global = ToPalette(gif->SColorMap);
  const Palette palette = frame.ColorMap ? ToPalette(frame.ColorMap) : global;
  out->Allocate(width, height, false);
  const auto& background = global[static_cast<size_t>(gif->SBackGroundColor & 0xFF)];
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = out->Row8(y);
    for (int x = 0; x < width; ++x) {
      std::memcpy(row + static_cast<size_t>(x) * 4, background.data(), 3);
      row[static_cast<size_t>(x) * 4 + 3] = 255;
    }
  }

  std::vector<GifPixelType> line(static_cast<size_t>(frame.Width));
  auto storeLine = [&](int frameRow) {
    std::uint8_t* row = out->Row8(top + frameRow) + static_cast<size_t>(left) * 4;
    for (int x = 0; x < frame.Width; ++x) {
      std::memcpy(row + static_cast<size_t>(x) * 4, palette[line[static_cast<size_t>(x)]].data(), 3);
    }
  };
  if (frame.Interlace) {
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
      for (int y = kStart[pass]; y < frame.Height; y += kStep[pass]) {
        if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR) return Fail(error, LibraryError(gif->Error));
        storeLine(y);
      }
    }
  } else {
    for (int y = 0; y < frame.Height; ++y) {
      if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR) return Fail(error, LibraryError(gif->Error));
      storeLine(y);
    }
  }
  return true;
}
