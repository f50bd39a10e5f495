#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/DecodedImage.h"

// Decodes a WebP file held in memory, lossy or lossless, with or without
// alpha; of an animation, the first frame as shown on its canvas.
// Returns false, with a reason in *error, on failure.
bool DecodeWebp(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error);
