#pragma once

#include <string>

#include "imaging/ImageCache.h"

// Computes a signature from an image file through the software graphics
// component: the file is loaded as a 3 x 3 texture and read back.
class ImageCacheDirectX : public ImageCache {
 public:
  bool LoadImage(const std::string& path) override;
};
