#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/DecodedImage.h"
#include "imaging/ImageError.h"
#include "imaging/ImageSource.h"
#include "imaging/RowSink.h"

// Decodes a JPEG file with the IJG interface and its default
// decompression settings (accurate integer inverse DCT, fancy upsampling),
// which come closest to the stored signatures. Grey pictures become grey
// RGB; CMYK and YCCK pictures are converted to RGB. A file that ends before
// its picture does is refused rather than shown half grey.
// Hands the rows to `sink` as they are decoded (a progressive file's rows
// come after its last scan; the library then holds the coefficients of the
// whole picture). Returns false, with the kind and the library's reason in
// *error (may be null), on failure; rows already handed out are then void.
bool DecodeJpeg(ImageSource& input, RowSink& sink, ImageError* error);
// The whole picture in memory; the reason in *error (may be null).
bool DecodeJpeg(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error);
