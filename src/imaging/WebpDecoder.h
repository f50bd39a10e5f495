#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/DecodedImage.h"
#include "imaging/ImageError.h"
#include "imaging/ImageSource.h"
#include "imaging/RowSink.h"

// Decodes a WebP file, lossy or lossless, with or without
// alpha; of an animation, the first frame as shown on its canvas.
// Hands the rows to `sink` as the incremental decoder finishes them; rows
// already handed on are released, so a lossy picture needs only the rows in
// flight. Lossless pictures hold their whole picture inside the library (4
// bytes a pixel); animations are read whole and hold two canvases. Returns
// false, with the kind and reason in *error (may be null), on failure; rows
// already handed out are then void.
bool DecodeWebp(ImageSource& input, RowSink& sink, ImageError* error);
// The whole picture in memory; the reason in *error (may be null).
bool DecodeWebp(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error);
