#include "cachebuild/MakeCacheDirectX.h"

#include "imaging/ImageCacheDirectX.h"

bool MakeCacheDirectX::ComputeSignature() {
  ImageCacheDirectX signature;
  const std::string path = ImageFilePath();
  if (!path.empty()) signature.LoadImage(path);
  cache = signature.cacheText;
  return true;
}
