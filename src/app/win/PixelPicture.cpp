#include "app/win/PixelPicture.h"

#include <algorithm>
#include <span>

#include "control/PictureBytes.h"
#include "imaging/FileImageSource.h"
#include "imaging/ImageDecoder.h"
#include "imaging/ReductionSink.h"

PixelPicture::PixelPicture(int width, int height, std::vector<std::uint32_t> pixels)
    : width_(width), height_(height), pixels_(std::move(pixels)) {
  if (width_ <= 0 || height_ <= 0 || pixels_.size() != static_cast<std::size_t>(width_) * height_) {
    *this = PixelPicture();
  }
}

PixelPicture PixelPicture::FromFile(const std::string& path, int width, int height, std::string* reason) {
  // Read through the file itself: a large photo is never held whole.
  FileImageSource source;
  ImageError error;
  if (!source.Open(path, &error)) {
    *reason = error.detail;
    return {};
  }
  width = std::max(1, width);
  height = std::max(1, height);
  ReductionSink sink([&](const RowLayout& layout) {
    const bool fits = layout.width <= width && layout.height <= height;
    return fits ? std::pair{layout.width, layout.height} : std::pair{width, height};
  });
  if (!DecodeImageRows(source, sink, &error)) {
    *reason = error.detail;
    return {};
  }
  int outWidth = 0;
  int outHeight = 0;
  std::vector<std::uint32_t> pixels = sink.Finish(&outWidth, &outHeight);
  if (pixels.empty()) *reason = "the picture's rows did not all arrive";
  return PixelPicture(outWidth, outHeight, std::move(pixels));
}

PixelPicture PixelPicture::FromBytes(std::string_view bytes, int width, int height, std::string* reason) {
  int outWidth = 0;
  int outHeight = 0;
  std::vector<std::uint32_t> pixels =
      ReducePictureBytes(bytes, std::max(1, width), std::max(1, height), &outWidth, &outHeight, reason);
  return PixelPicture(outWidth, outHeight, std::move(pixels));
}

PixelPicture PixelPicture::Swatch(const std::int32_t* colours, int cell) {
  cell = std::max(1, cell);
  const int side = 3 * cell;
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(side) * side);
  const auto level = [](std::int32_t value) { return static_cast<std::uint32_t>(std::clamp(value, 0, 255)); };
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const std::int32_t* rgb = colours + ((y / cell) * 3 + x / cell) * 3;
      pixels[static_cast<std::size_t>(y) * side + x] =
          0xFF000000u | level(rgb[0]) << 16 | level(rgb[1]) << 8 | level(rgb[2]);
    }
  }
  return PixelPicture(side, side, std::move(pixels));
}

BITMAPINFO PixelPicture::Header() const {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width_;
  info.bmiHeader.biHeight = -height_;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

void PixelPicture::Draw(HDC dc, const RECT& target) const {
  if (Empty()) return;
  const BITMAPINFO info = Header();
  const int width = target.right - target.left;
  const int height = target.bottom - target.top;
  if (width == width_ && height == height_) {
    SetDIBitsToDevice(dc, target.left, target.top, width, height, 0, 0, 0, height_, pixels_.data(), &info,
                      DIB_RGB_COLORS);
    return;
  }
  const int oldMode = SetStretchBltMode(dc, HALFTONE);
  POINT origin;
  SetBrushOrgEx(dc, 0, 0, &origin);
  StretchDIBits(dc, target.left, target.top, width, height, 0, 0, width_, height_, pixels_.data(), &info,
                DIB_RGB_COLORS, SRCCOPY);
  SetBrushOrgEx(dc, origin.x, origin.y, nullptr);
  SetStretchBltMode(dc, oldMode);
}

HBITMAP PixelPicture::MakeBitmap(HDC dc) const {
  if (Empty()) return nullptr;
  const BITMAPINFO info = Header();
  return CreateDIBitmap(dc, &info.bmiHeader, CBM_INIT, pixels_.data(), &info, DIB_RGB_COLORS);
}
