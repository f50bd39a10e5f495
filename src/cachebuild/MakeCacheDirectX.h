#pragma once

#include "cachebuild/MakeCache.h"

// The builder the cache generation run uses: computes the signature through
// the software graphics component (ImageCacheDirectX).
class MakeCacheDirectX : public MakeCache {
 public:
  using MakeCache::MakeCache;

  // Sets `cache` from the image at ImageFilePath(); empty (and logged by the
  // loader) when the image cannot be read. Always returns true.
  bool ComputeSignature() override;
};
