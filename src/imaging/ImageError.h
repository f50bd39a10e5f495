#pragma once

#include <string>

// Why a picture could not be read, in kinds a user can act on.
enum class ImageErrorKind {
  kCannotOpen,     // missing, no permission, a directory
  kEmptyFile,
  kFileTooLarge,   // above kMaxImageFileBytes
  kUnknownFormat,  // not one of BMP, JPEG, PNG, GIF, WebP (TIFF, HEIC...)
  kUnsupported,    // a known format in a variant we do not decode
  kTooLarge,       // more pixels than DecodedImage::kMaxPixelCount
  kDamaged,        // damaged or truncated
};

// A failed read: its kind and the decoder's own one-line English detail
// ("PNG: file ends before the picture does").
struct ImageError {
  ImageErrorKind kind = ImageErrorKind::kDamaged;
  std::string detail;

  // Sets both and returns false, for `return error->Set(...)` in decoders
  // (a null `error` is allowed).
  static bool Fail(ImageError* error, ImageErrorKind kind, std::string detail);
};

// The kind for the window's status line, in the system's Shift-JIS
// ("対応していない形式です").
const std::string& ImageErrorStatusText(ImageErrorKind kind);

// The kind in English for the terminal ("not a picture in a format we read").
const char* ImageErrorEnglish(ImageErrorKind kind);
