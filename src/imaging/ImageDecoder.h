#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/DecodedImage.h"
#include "imaging/ImageError.h"
#include "imaging/ImageSource.h"
#include "imaging/RowSink.h"

enum class ImageFormat { kUnknown, kBmp, kJpeg, kPng, kGif, kWebp };

// The format told by the first bytes of a file, whatever its name says.
ImageFormat DetectImageFormat(std::span<const std::uint8_t> data);

// Decodes a BMP, JPEG, PNG, GIF (first frame) or WebP picture, chosen by its
// content, handing its rows to `sink` top to bottom as they are decoded.
// Returns false, with the kind and a one-line reason in *error (may be
// null), for anything else or a damaged file; never crashes on hostile input
// and refuses pictures above DecodedImage::kMaxPixelCount before allocating
// for them. Any thread may call it (one source and sink per call).
bool DecodeImageRows(ImageSource& input, RowSink& sink, ImageError* error);

// The same for the file at `path` (a directory, a missing or empty file, or
// one above kMaxImageFileBytes fails), read in blocks, never held whole.
// Writes nothing anywhere.
bool DecodeImageFileRows(const std::string& path, RowSink& sink, ImageError* error);

// The whole picture in memory, for tests and tools; the reason in *error
// (may be null).
bool DecodeImage(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error);
bool DecodeImageFile(const std::string& path, DecodedImage* out, std::string* error);
