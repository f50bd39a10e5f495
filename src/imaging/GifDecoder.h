#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/DecodedImage.h"

// Decodes the first frame of a GIF file held in memory onto the file's
// logical screen (the frame's own area when the screen does not hold it),
// the rest of the screen in the background colour. Every pixel takes the
// colour its palette entry stores: transparency is dropped.
// Returns false, with the library's reason in *error, on failure (a file
// without any frame, a truncated frame).
bool DecodeGif(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error);
