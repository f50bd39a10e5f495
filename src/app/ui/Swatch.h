#pragma once

#include <QIcon>
#include <QImage>

#include "imaging/ImageCache.h"

// A signature drawn as it was reduced: 3 x 3 cells, each filled with its
// stored red, green and blue (clamped to 0..255), top row first.

// `cell` logical pixels a cell, drawn at `ratio` device pixels per logical
// pixel (the image carries that ratio): sharp cell edges on a scaled
// display. Any thread.
QImage SwatchImage(const ImageCache::Colours& colours, int cell, qreal ratio = 1.0);

// The same as an icon drawn at whatever size and ratio it is shown at (a
// list row's). UI thread only.
QIcon SwatchIcon(const ImageCache::Colours& colours);
