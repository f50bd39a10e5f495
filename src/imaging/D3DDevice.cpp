#include "imaging/D3DDevice.h"

#include <algorithm>
#include <mutex>

#include "infra/Log.h"
#include "imaging/DecodedImage.h"
#include "imaging/ImageDecoder.h"
#include "imaging/ImageWriter.h"
#include "imaging/Resampler.h"
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

bool Fail(std::string* error, const std::string& reason) {
  if (error) *error = reason;
  return false;
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
                                                          TextureFormat format, std::string* error) const {
  if (width < 0 || height < 0) {
    Fail(error, "negative texture size");
    return nullptr;
  }
  DecodedImage image;
  if (!DecodeImageFile(path, &image, error)) return nullptr;
  const int textureWidth = TextureSide(width, image.Width());
  const int textureHeight = TextureSide(height, image.Height());
  std::vector<std::uint32_t> pixels = ResampleImage(image, textureWidth, textureHeight);
  if (format != TextureFormat::kA8R8G8B8) {
    for (std::uint32_t& pixel : pixels) pixel |= kOpaque;
  }
  return std::make_shared<Texture>(textureWidth, textureHeight, std::move(pixels));
}

bool D3DDevice::SaveTextureToFile(const std::string& path, const Texture& texture, std::string* error) {
  if (texture.Width() <= 0 || texture.Height() <= 0) return Fail(error, "empty texture");
  DecodedImage image;
  image.Allocate(texture.Width(), texture.Height(), false);
  for (int y = 0; y < texture.Height(); ++y) {
    std::uint8_t* row = image.Row8(y);
    for (int x = 0; x < texture.Width(); ++x) {
      const std::uint32_t pixel = texture.Pixel(x, y);
      row[x * 4] = static_cast<std::uint8_t>(pixel >> 16);
      row[x * 4 + 1] = static_cast<std::uint8_t>(pixel >> 8);
      row[x * 4 + 2] = static_cast<std::uint8_t>(pixel);
      row[x * 4 + 3] = static_cast<std::uint8_t>(pixel >> 24);
    }
  }
  std::string bytes;
  if (!ImageWriter::EncodeBmp(image, &bytes)) return Fail(error, "cannot encode the texture");
  if (!WriteBytesToFile(path, bytes)) return Fail(error, "cannot write " + path);
  return true;
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
