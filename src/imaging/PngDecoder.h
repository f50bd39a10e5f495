#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/DecodedImage.h"
#include "imaging/ImageError.h"
#include "imaging/ImageSource.h"
#include "imaging/RowSink.h"

// Decodes a PNG file: palette, grey, grey with alpha, RGB and
// RGBA, 1 to 16 bits, interlaced or not. Palette and grey pictures are
// expanded to RGB (transparency becomes alpha); 16-bit pictures keep their
// 16 bits, with 65535 as full intensity. No gamma or colour correction is
// applied: the stored values are the picture.
// Hands the rows to `sink` as they are decoded; an interlaced picture is
// held whole (4 bytes a pixel, 8 at 16 bits) until its last pass. Returns
// false, with the kind and reason in *error (may be null), on failure; rows
// already handed out are then void.
bool DecodePng(ImageSource& input, RowSink& sink, ImageError* error);
// The whole picture in memory; the reason in *error (may be null).
bool DecodePng(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error);
