#include "imaging/PreviewLoader.h"

#include "infra/Log.h"
#include "imaging/D3DDevice.h"
#include "imaging/DecodedImage.h"
#include "imaging/GifConversion.h"
#include "imaging/ImageDecoder.h"
#include "infra/TextEncoding.h"

std::shared_ptr<Texture> LoadPreviewTexture(const std::string& path) {
  static const SjisText kDecodeFailed{u8"CTintwiseDlg::LoadImage() : gifファイルの読み込みに失敗しました "};
  static const SjisText kSaveFailed{u8"CTintwiseDlg::LoadImage() : 一時bmpファイルの保存に失敗しました "};
  static const SjisText kTextureFailed{u8"CTintwiseDlg::LoadImage() : テクスチャの読み込みに失敗しました "};

  std::string textureName = path;
  ScratchFile temporary;
  if (IsGifPath(path)) {
    temporary = ReserveTemporaryBmp(path);
    const std::string bmpName = temporary.Ok() ? temporary.Path() : TemporaryBmpName(path);
    DecodedImage image;
    std::string reason;
    const bool decoded = DecodeImageFile(path, &image, &reason);
    if (!decoded) {
      WriteLog(kDecodeFailed + PathForLog(path));
      WriteLog(reason);
    }
    // As with the platform's loader, a failed step does not stop the next:
    // the texture load then fails on the missing or empty file and says so.
    if (!WriteTemporaryBmp(image, temporary)) WriteLog(kSaveFailed + PathForLog(bmpName));
    textureName = bmpName;
  }

  std::shared_ptr<Texture> texture;
  std::string reason = "no graphics device";
  if (const std::shared_ptr<D3DDevice> device = D3DDevice::Current()) {
    texture = device->CreateTextureFromFile(textureName, 0, 0, TextureFormat::kR8G8_B8G8, &reason);
  }
  if (!texture) {
    WriteLog(kTextureFailed + PathForLog(textureName));
    WriteLog(reason);
  }
  return texture;  // the temporary BMP, if any, goes with `temporary`
}
