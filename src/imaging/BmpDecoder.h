#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/DecodedImage.h"
#include "imaging/ImageError.h"
#include "imaging/ImageSource.h"
#include "imaging/RowSink.h"

// Decodes a Windows BMP file: 1, 4 and 8 bits per pixel
// through the colour table, 16 and 32 bits with the default or given bit
// fields, 24 bits; bottom-up and top-down rows; the core, info and V2 to V5
// headers. Run-length compressed files are refused. Nothing in the header is
// trusted: sizes are checked against the data before any allocation.
// Hands the rows to `sink` in picture order, reading each row where it lies
// in the file (bottom-up files too), so nothing but one row is held.
// Returns false, with the kind and reason in *error (may be null), on
// failure; rows already handed out are then void.
bool DecodeBmp(ImageSource& input, RowSink& sink, ImageError* error);
// The whole picture in memory; the reason in *error (may be null).
bool DecodeBmp(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error);
