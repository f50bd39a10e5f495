#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/DecodedImage.h"
#include "imaging/ImageError.h"
#include "imaging/ImageSource.h"
#include "imaging/RowSink.h"

// Decodes the first frame of a GIF file onto the file's
// logical screen (the frame's own area when the screen does not hold it),
// the rest of the screen in the background colour. Every pixel takes the
// colour its palette entry stores: transparency is dropped.
// A file without any frame or with a truncated frame fails.
// Hands the rows to `sink` as they are decoded; an interlaced frame is
// held as palette indices (1 byte a pixel) until its last pass. Returns
// false, with the kind and reason in *error (may be null), on failure; rows
// already handed out are then void.
bool DecodeGif(ImageSource& input, RowSink& sink, ImageError* error);
// The whole picture in memory; the reason in *error (may be null).
bool DecodeGif(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error);
