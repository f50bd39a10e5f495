#include "imaging/ImageCache.h"

#include "infra/NumberToString.h"

std::int32_t ImageCache::Difference(const ImageCache& other) const {
  std::int32_t sum = 0;
  for (int i = 0; i < kValueCount; ++i) {
    const std::int32_t d = colours[static_cast<size_t>(i)] - other.colours[static_cast<size_t>(i)];
    sum += d < 0 ? -d : d;
  }
  return sum;
}

void ImageCache::MakeCacheText() {
  cacheText.clear();
  for (const std::int32_t value : colours) {
    cacheText += NumberToString(value, 0);
    cacheText += ',';
  }
}
