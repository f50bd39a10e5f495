#include "imaging/ImageError.h"

#include "imaging/DecodedImage.h"
#include "infra/TextEncoding.h"

bool ImageError::Fail(ImageError* error, ImageErrorKind kind, std::string detail) {
  if (error) {
    error->kind = kind;
    error->detail = std::move(detail);
  }
  return false;
}

const std::string& ImageErrorStatusText(ImageErrorKind kind) {
  static const SjisText kCannotOpen{u8"ファイルを開けません"};
  static const SjisText kEmpty{u8"ファイルが空です"};
  static const SjisText kFileTooLarge{u8"ファイルが大きすぎます"};
  static const SjisText kUnknownFormat{u8"対応していない形式です"};
  static const SjisText kUnsupported{u8"対応していない種類の画像です"};
  static const SjisText kTooLarge{u8"画像が大きすぎます（2億5千万画素まで）"};
  static const SjisText kDamaged{u8"ファイルが壊れています"};
  switch (kind) {
    case ImageErrorKind::kCannotOpen: return kCannotOpen;
    case ImageErrorKind::kEmptyFile: return kEmpty;
    case ImageErrorKind::kFileTooLarge: return kFileTooLarge;
    case ImageErrorKind::kUnknownFormat: return kUnknownFormat;
    case ImageErrorKind::kUnsupported: return kUnsupported;
    case ImageErrorKind::kTooLarge: return kTooLarge;
    case ImageErrorKind::kDamaged: break;
  }
  return kDamaged;
}

const char* ImageErrorEnglish(ImageErrorKind kind) {
  static_assert(DecodedImage::kMaxPixelCount == 250'000'000, "the texts name the limit");
  switch (kind) {
    case ImageErrorKind::kCannotOpen: return "cannot open the file";
    case ImageErrorKind::kEmptyFile: return "empty file";
    case ImageErrorKind::kFileTooLarge: return "file too large";
    case ImageErrorKind::kUnknownFormat: return "not a picture in a format we read (BMP, JPEG, PNG, GIF, WebP)";
    case ImageErrorKind::kUnsupported: return "a kind of picture we do not read";
    case ImageErrorKind::kTooLarge: return "picture too large (more than 250 million pixels)";
    case ImageErrorKind::kDamaged: break;
  }
  return "damaged or truncated picture";
}
