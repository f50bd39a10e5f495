#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/DecodedImage.h"

// Decodes a PNG file held in memory: palette, grey, grey with alpha, RGB and
// RGBA, 1 to 16 bits, interlaced or not. Palette and grey pictures are
// expanded to RGB (transparency becomes alpha); 16-bit pictures keep their
// 16 bits, with 65535 as full intensity. No gamma or colour correction is
// applied: the stored values are the picture.
// Returns false, with the library's reason in *error, on failure.
bool DecodePng(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error);
