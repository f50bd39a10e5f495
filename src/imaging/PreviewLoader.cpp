#include "imaging/PreviewLoader.h"

#include "imaging/D3DDevice.h"
#include "imaging/ToLower.h"
#include "infra/Log.h"
#include "infra/TextEncoding.h"

std::shared_ptr<Texture> LoadPreviewTexture(const std::string& path) {
  static const SjisText kDecodeFailed{u8"CTintwiseDlg::LoadImage() : gifファイルの読み込みに失敗しました "};
  static const SjisText kTextureFailed{u8"CTintwiseDlg::LoadImage() : テクスチャの読み込みに失敗しました "};

  std::shared_ptr<Texture> texture;
  ImageError error;
  ImageError::Fail(&error, ImageErrorKind::kCannotOpen, "no graphics device");
  if (const std::shared_ptr<D3DDevice> device = D3DDevice::Current()) {
    texture = device->CreateTextureFromFile(path, 0, 0, TextureFormat::kR8G8_B8G8, &error);
  }
  if (!texture) {
    if (ToLower(path).find(".gif") != std::string::npos) WriteLog(kDecodeFailed + PathForLog(path));
    WriteLog(kTextureFailed + PathForLog(path));
    WriteLog(std::string("CTintwiseDlg::LoadImage() : ") + ImageErrorStatusText(error.kind) + " (" + error.detail + ")");
  }
  return texture;
}
