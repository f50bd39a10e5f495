#pragma once

#include <QImage>

#include "imaging/ImageCache.h"

// A signature drawn as it was reduced: 3 x 3 cells of `cell` pixels, each
// cell filled with its stored red, green and blue (clamped to 0..255), top
// row first. Any thread.
QImage SwatchImage(const ImageCache::Colours& colours, int cell);
