#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/ReductionSink.h"

// The pictures that arrive as bytes (a link, a drag, the clipboard, the
// site's picture) meet the imaging room only here, so that a change of its
// decoding interface touches these two functions alone. Any thread.

// The file name extension for the picture format `bytes` hold, told by
// their content (".bmp", ".jpg", ".png", ".gif", ".webp"); empty when they
// hold no picture the program decodes (an HTML page, text).
std::string PictureExtension(std::string_view bytes);

// Decodes a picture held in memory row by row, brought down to at most
// maxWidth x maxHeight (a larger picture becomes exactly that size; a
// smaller one keeps its own), so a huge picture is never held whole.
// Pixels 0xAARRGGBB, top row first, with the size in *width and *height;
// empty, with a one-line reason, for anything that is not a picture the
// program decodes, or a damaged one. The picture's own size goes to
// *sourceWidth and *sourceHeight when they are given.
std::vector<std::uint32_t> ReducePictureBytes(std::string_view bytes, int maxWidth, int maxHeight, int* width,
                                              int* height, std::string* reason, int* sourceWidth = nullptr,
                                              int* sourceHeight = nullptr);
// A reduction's size for such a picture: its own, or maxWidth x maxHeight
// when larger; the picture's own size goes to *sourceWidth and *sourceHeight
// when they are given (they must outlive the reduction).
ReductionSink::SizeChooser AtMost(int maxWidth, int maxHeight, int* sourceWidth = nullptr,
                                  int* sourceHeight = nullptr);

// A pixel 0xAARRGGBB's red, green and blue with its transparent part on
// white, as the site shows a picture.
std::array<double, 3> OnWhite(std::uint32_t argb);

// The same for the picture file at `path`, decoded row by row.
std::vector<std::uint32_t> ReducePictureFile(const std::string& path, int maxWidth, int maxHeight, int* width,
                                             int* height, std::string* reason, int* sourceWidth = nullptr,
                                             int* sourceHeight = nullptr);
