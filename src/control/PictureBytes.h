#pragma once

#include <string>
#include <string_view>

class DecodedImage;

// The pictures that arrive as bytes (a link, a drag, the clipboard, the
// site's picture) meet the imaging room only here, so that a change of its
// decoding interface touches these two functions alone. Any thread.

// The file name extension for the picture format `bytes` hold, told by
// their content (".bmp", ".jpg", ".png", ".gif", ".webp"); empty when they
// hold no picture the program decodes (an HTML page, text).
std::string PictureExtension(std::string_view bytes);

// Decodes a picture held in memory. False, with a one-line reason, for
// anything that is not a picture the program decodes, or a damaged one.
bool DecodePictureBytes(std::string_view bytes, DecodedImage* out, std::string* reason);
