#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/DecodedImage.h"

// Decodes a Windows BMP file held in memory: 1, 4 and 8 bits per pixel
// through the colour table, 16 and 32 bits with the default or given bit
// fields, 24 bits; bottom-up and top-down rows; the core, info and V2 to V5
// headers. Run-length compressed files are refused. Nothing in the header is
// trusted: sizes are checked against the data before any allocation.
// Returns false, with a reason in *error, on failure; *out is then unspecified.
bool DecodeBmp(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error);
