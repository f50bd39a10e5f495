#include "imaging/ImageCacheDirectX.h"

#include "imaging/SignatureReader.h"
#include "imaging/ToLower.h"
#include "infra/Environment.h"
#include "infra/Log.h"
#include "infra/TextEncoding.h"

bool ImageCacheDirectX::LoadImage(const std::string& path) { return LoadImage(path, nullptr); }

bool ImageCacheDirectX::LoadImage(const std::string& path, ImageError* error, RowSink* alsoTo) {
  // Relative names resolve in the program's directory.
  EnterProgramDirectory();
  ImageError failure;
  Colours computed{};
  if (!SignatureOfFile(path, &computed, &failure, ReductionSink::Thread::kWhenIdle, {}, alsoTo)) {
    // Converted here, not on every load: a picture that reads needs no text.
    static const SjisText kDecodeFailed{u8"ImageCache::LoadImage() : gifファイルの読み込みに失敗しました "};
    static const SjisText kTextureFailed{u8"ImageCache::LoadImage() : テクスチャの読み込みに失敗しました "};
    // A GIF is decoded before its texture is made; anything else fails as
    // the texture's load.
    const bool gif = ToLower(path).find(".gif") != std::string::npos;
    WriteLog((gif ? kDecodeFailed : kTextureFailed) + PathForLog(path));
    // The reason in the log's style; the decoder's technical detail follows.
    WriteLog(std::string("ImageCache::LoadImage() : ") + ImageErrorStatusText(failure.kind) + " (" + failure.detail + ")");
    if (error) *error = failure;
    return false;
  }
  colours = computed;
  MakeCacheText();
  return true;
}
