#include "imaging/ImageCacheDirectX.h"

#include "infra/Environment.h"
#include "infra/Log.h"
#include "imaging/D3DDevice.h"
#include "imaging/DecodedImage.h"
#include "imaging/GifConversion.h"
#include "imaging/ImageDecoder.h"
#include "imaging/ScratchFile.h"
#include "infra/TextEncoding.h"

namespace {

// The reduced picture's file in the program's directory. A user's own file
// of that name is never touched: another free name is taken instead.
const char kReducedName[] = "temp.bmp";

std::string BaseName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool ImageCacheDirectX::LoadImage(const std::string& path) {
  static const SjisText kDecodeFailed{u8"ImageCache::LoadImage() : gifファイルの読み込みに失敗しました "};
  static const SjisText kSaveFailed{u8"ImageCache::LoadImage() : 一時bmpファイルの保存に失敗しました "};
  static const SjisText kTextureFailed{u8"ImageCache::LoadImage() : テクスチャの読み込みに失敗しました "};
  static const SjisText kReducedSaveFailed{u8"ImageCache::LoadImage() : 縮小bmpファイルの保存に失敗しました "};
  static const SjisText kReducedReadFailed{u8"ImageCache::LoadImage() : 縮小bmpファイルの読み込みに失敗しました "};

  EnterProgramDirectory();
  std::string textureName = path;
  ScratchFile temporary;
  if (IsGifPath(path)) {
    temporary = ReserveTemporaryBmp(path);
    DecodedImage image;
    std::string reason;
    if (!DecodeImageFile(path, &image, &reason)) {
      WriteLog(kDecodeFailed + PathForLog(path));
      WriteLog(reason);
      return false;
    }
    if (!WriteTemporaryBmp(image, temporary)) {
      WriteLog(kSaveFailed + PathForLog(temporary.Ok() ? temporary.Path() : TemporaryBmpName(path)));
      return false;
    }
    textureName = temporary.Path();
  }

  std::shared_ptr<Texture> texture;
  std::string reason = "no graphics device";
  if (const std::shared_ptr<D3DDevice> device = D3DDevice::Current()) {
    texture = device->CreateTextureFromFile(textureName, 3, 3, TextureFormat::kR8G8B8, &reason);
  }
  temporary.Remove();  // also after a failed load: nothing is left beside the input
  if (!texture) {
    WriteLog(kTextureFailed + PathForLog(textureName));
    WriteLog(reason);
    return false;
  }

  // The reduced texture goes through a BMP file and back, as stored
  // signatures did; the file is always removed again.
  EnterProgramDirectory();
  const std::string directory = ProgramDirectory();
  ScratchFile reduced = ScratchFile::Reserve(directory + kReducedName, directory + "temp-", ".bmp");
  const std::string reducedName = reduced.Ok() ? BaseName(reduced.Path()) : std::string(kReducedName);
  if (!reduced.Ok() || !D3DDevice::SaveTextureToFile(reduced.Path(), *texture, &reason)) {
    WriteLog(kReducedSaveFailed + PathForLog(reducedName));
    return false;
  }
  texture.reset();

  EnterProgramDirectory();
  DecodedImage readBack;
  if (!DecodeImageFile(reduced.Path(), &readBack, &reason) || readBack.Width() != 3 || readBack.Height() != 3) {
    WriteLog(kReducedReadFailed + PathForLog(reducedName));
    return false;
  }
  Colours computed{};
  size_t next = 0;
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) {
      const auto pixel = readBack.Rgba8(x, y);
      computed[next++] = pixel[0];
      computed[next++] = pixel[1];
      computed[next++] = pixel[2];
    }
  }
  reduced.Remove();
  colours = computed;
  MakeCacheText();
  return true;
}
