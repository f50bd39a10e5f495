#pragma once

#include <string>

#include "imaging/DecodedImage.h"
#include "imaging/ScratchFile.h"

// The loaders' detour for GIF files: a path whose lowered form contains
// ".gif" anywhere (the folder part included) is decoded and written as a
// temporary BMP file beside it, and the texture is loaded from that.

// True when ToLower(path) contains ".gif".
bool IsGifPath(const std::string& path);

// The temporary BMP's usual name: `path` without its last three bytes, plus
// "bmp" ("a/b.GIF" gives "a/b.bmp").
std::string TemporaryBmpName(const std::string& path);

// Reserves the temporary BMP: the usual name when no such file exists,
// otherwise a fresh name beside it ("a/b.<pid>-<n>.bmp"), so an existing
// file (the input itself included) is never replaced or removed.
ScratchFile ReserveTemporaryBmp(const std::string& path);

// Writes `image` as a 24-bit BMP into the reserved file. False on failure.
bool WriteTemporaryBmp(const DecodedImage& image, const ScratchFile& file);
