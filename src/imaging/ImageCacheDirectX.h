#pragma once

#include <string>

#include "imaging/ImageCache.h"
#include "imaging/ImageError.h"
#include "imaging/RowSink.h"

// Computes a signature from an image file the way the graphics component's
// texture loader makes a 3 x 3 texture of it (SignatureOfFile): decoded and
// reduced row by row, nothing written anywhere. The reduction is the
// device's texture filter, but no device needs to exist.
class ImageCacheDirectX : public ImageCache {
 public:
  bool LoadImage(const std::string& path) override;
  // The same, telling why a picture could not be read (error may be null);
  // `alsoTo`, when given, gets the decoded rows too.
  bool LoadImage(const std::string& path, ImageError* error, RowSink* alsoTo = nullptr);
};
