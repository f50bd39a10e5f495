#include "imaging/RowSink.h"

#include <string>

#include "imaging/DecodedImage.h"
#include "imaging/ImageError.h"

bool StartRows(RowSink& sink, const RowLayout& layout, const char* format, ImageError* error) {
  if (layout.width <= 0 || layout.height <= 0 ||
      !DecodedImage::SizeAcceptable(static_cast<std::uint64_t>(layout.width), static_cast<std::uint64_t>(layout.height))) {
    return ImageError::Fail(error, ImageErrorKind::kTooLarge, std::string(format) + ": picture too large");
  }
  if (!sink.Begin(layout)) return ImageError::Fail(error, ImageErrorKind::kTooLarge, std::string(format) + ": picture refused");
  return true;
}
