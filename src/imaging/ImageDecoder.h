#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/DecodedImage.h"

enum class ImageFormat { kUnknown, kBmp, kJpeg, kPng, kGif, kWebp };

// The format told by the first bytes of a file, whatever its name says.
ImageFormat DetectImageFormat(std::span<const std::uint8_t> data);

// Decodes a BMP, JPEG, PNG, GIF (first frame) or WebP file held in memory,
// chosen by its content. Returns false, with a one-line reason in *error
// (may be null), for anything else or a damaged file; never crashes on
// hostile input and refuses pictures above DecodedImage::kMaxPixelCount
// before allocating for them.
bool DecodeImage(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error);

// Files larger than this are refused before they are read.
inline constexpr std::uint64_t kMaxImageFileBytes = 1ull << 30;

// Reads and decodes the file at `path` (a directory, a missing or empty
// file, or one above kMaxImageFileBytes fails). Any thread may call it.
bool DecodeImageFile(const std::string& path, DecodedImage* out, std::string* error);
