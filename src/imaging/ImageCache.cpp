#include "imaging/ImageCache.h"

#include "infra/NumberToString.h"

void ImageCache::MakeCacheText() {
  cacheText.clear();
  for (const std::int32_t value : colours) {
    cacheText += NumberToString(value, 0);
    cacheText += ',';
  }
}
