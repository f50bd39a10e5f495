#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/DecodedImage.h"

// Decodes a JPEG file held in memory with the IJG interface and its default
// decompression settings (accurate integer inverse DCT, fancy upsampling),
// which come closest to the stored signatures. Grey pictures become grey
// RGB; CMYK and YCCK pictures are converted to RGB. A file that ends before
// its picture does is refused rather than shown half grey.
// Returns false, with the library's reason in *error, on failure.
bool DecodeJpeg(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error);
