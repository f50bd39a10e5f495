#include "imaging/PreviewLoader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "imaging/D3DDevice.h"
#include "imaging/ImageDecoder.h"
#include "imaging/ReductionSink.h"
#include "imaging/ToLower.h"
#include "infra/Log.h"
#include "infra/TextEncoding.h"

namespace {

void LogLoadFailure(const std::string& path, const ImageError& error) {
  static const SjisText kDecodeFailed{u8"CTintwiseDlg::LoadImage() : gifファイルの読み込みに失敗しました "};
  static const SjisText kTextureFailed{u8"CTintwiseDlg::LoadImage() : テクスチャの読み込みに失敗しました "};
  if (ToLower(path).find(".gif") != std::string::npos) WriteLog(kDecodeFailed + PathForLog(path));
  WriteLog(kTextureFailed + PathForLog(path));
  WriteLog(std::string("CTintwiseDlg::LoadImage() : ") + ImageErrorStatusText(error.kind) + " (" + error.detail + ")");
}

// The picture's own size, or both sides brought down by one factor until
// the longer is `maxSide` (the shorter at least one pixel).
std::pair<int, int> HeldTo(int width, int height, int maxSide) {
  const int longer = std::max(width, height);
  if (longer <= maxSide) return {width, height};
  const double factor = static_cast<double>(maxSide) / longer;
  const auto side = [factor, maxSide](int own) {
    return std::clamp(static_cast<int>(std::lround(own * factor)), 1, maxSide);
  };
  return {side(width), side(height)};
}

}  // namespace

std::shared_ptr<Texture> LoadPreviewTexture(const std::string& path) {
  std::shared_ptr<Texture> texture;
  ImageError error;
  ImageError::Fail(&error, ImageErrorKind::kCannotOpen, "no graphics device");
  if (const std::shared_ptr<D3DDevice> device = D3DDevice::Current()) {
    texture = device->CreateTextureFromFile(path, 0, 0, TextureFormat::kR8G8_B8G8, &error);
  }
  if (!texture) LogLoadFailure(path, error);
  return texture;
}

std::shared_ptr<Texture> LoadPreviewPicture(const std::string& path, int maxSide) {
  ImageError error;
  ReductionSink sink([maxSide](const RowLayout& layout) { return HeldTo(layout.width, layout.height, maxSide); });
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  if (DecodeImageFileRows(path, sink, &error)) {
    pixels = sink.Finish(&width, &height);
    if (pixels.empty()) ImageError::Fail(&error, ImageErrorKind::kDamaged, "the picture's rows did not all arrive");
  }
  if (pixels.empty()) {
    LogLoadFailure(path, error);
    return nullptr;
  }
  for (std::uint32_t& pixel : pixels) pixel |= 0xFF000000u;
  return std::make_shared<Texture>(width, height, std::move(pixels));
}
