#include "imaging/D3DDevice.h"

#include <algorithm>
#include <mutex>

#include "infra/Log.h"
#include "imaging/ImageDecoder.h"
#include "imaging/ReductionSink.h"
#include "infra/TextEncoding.h"

namespace {

std::mutex& DeviceMutex() {
  static std::mutex mutex;
  return mutex;
}

std::shared_ptr<D3DDevice>& DeviceSlot() {
  static std::shared_ptr<D3DDevice> device;
  return device;
}

constexpr std::uint32_t kOpaque = 0xFF000000u;

int TextureSide(int requested, int pictureSide) {
  if (requested > 0) return std::min(requested, D3DDevice::kMaxTextureSide);
  int side = 1;
  while (side < pictureSide && side < D3DDevice::kMaxTextureSide) side *= 2;
  return side;
}

}  // namespace

D3DDevice::D3DDevice()
    : backBuffer_(static_cast<size_t>(kBackBufferSize) * kBackBufferSize, kOpaque) {}

bool D3DDevice::Initialize() {
  static const SjisText kStarted{u8"D3DDevice::Initialize() : DirectXの初期化に成功しました"};
  auto device = std::make_shared<D3DDevice>();
  {
    std::lock_guard lock(DeviceMutex());
    DeviceSlot() = std::move(device);
  }
  WriteLog(kStarted);
  return true;
}

void D3DDevice::Shutdown() {
  std::shared_ptr<D3DDevice> released;
  {
    std::lock_guard lock(DeviceMutex());
    released.swap(DeviceSlot());
  }
  // `released` goes here, outside the lock.
}

std::shared_ptr<D3DDevice> D3DDevice::Current() {
  std::lock_guard lock(DeviceMutex());
  return DeviceSlot();
}

std::shared_ptr<Texture> D3DDevice::CreateTextureFromFile(const std::string& path, int width, int height,
                                                          TextureFormat format, ImageError* error) const {
  if (width < 0 || height < 0) {
    ImageError::Fail(error, ImageErrorKind::kUnsupported, "negative texture size");
    return nullptr;
  }
  ReductionSink sink([&](const RowLayout& layout) {
    return std::pair{TextureSide(width, layout.width), TextureSide(height, layout.height)};
  });
  if (!DecodeImageFileRows(path, sink, error)) return nullptr;
  int textureWidth = 0;
  int textureHeight = 0;
  std::vector<std::uint32_t> pixels = sink.Finish(&textureWidth, &textureHeight);
  if (pixels.empty()) {
    ImageError::Fail(error, ImageErrorKind::kDamaged, "the picture's rows did not all arrive");
    return nullptr;
  }
  if (format != TextureFormat::kA8R8G8B8) {
    for (std::uint32_t& pixel : pixels) pixel |= kOpaque;
  }
  return std::make_shared<Texture>(textureWidth, textureHeight, std::move(pixels));
}

void D3DDevice::DrawPreview(const Texture* texture) {
  if (texture == nullptr || texture->Width() <= 0 || texture->Height() <= 0) {
    std::fill(backBuffer_.begin(), backBuffer_.end(), kOpaque);
    return;
  }
  // Pixel centres of pre-transformed vertices lie on whole coordinates, so
  // pixel (x, y) samples u = x / 128, v = y / 128; point sampling takes texel
  // floor(u * width), floor(v * height).
  for (int y = 0; y < kBackBufferSize; ++y) {
    const int ty = static_cast<int>(static_cast<std::int64_t>(y) * texture->Height() / kBackBufferSize);
    std::uint32_t* row = backBuffer_.data() + static_cast<size_t>(y) * kBackBufferSize;
    for (int x = 0; x < kBackBufferSize; ++x) {
      const int tx = static_cast<int>(static_cast<std::int64_t>(x) * texture->Width() / kBackBufferSize);
      row[x] = texture->Pixel(tx, ty) | kOpaque;
    }
  }
}
