#pragma once

#include <memory>
#include <string>

#include "imaging/Texture.h"

// Loads the image file at `path` as the main window's preview texture, at the
// picture's own size rounded up to powers of two and held to
// D3DDevice::kMaxTextureSide (see D3DDevice), decoded and resampled row by
// row. GIF files are decoded like any other: nothing is written anywhere.
// Failures are logged with the "CTintwiseDlg::LoadImage() : " texts (a path
// whose lowered form holds ".gif" first logs the GIF line) and give null.
// Uses the current device; without one every load fails.
// Any thread may call it.
std::shared_ptr<Texture> LoadPreviewTexture(const std::string& path);

// Loads the image file at `path` as the picture a window shows, to be
// brought to the size of its box on the screen: the picture's own pixels,
// or for one larger than `maxSide` on a side, brought down (both sides by
// the same factor) to that, decoded and resampled row by row. Opaque.
// Failures are logged as for LoadPreviewTexture and give null. Needs no
// graphics device. Any thread may call it.
// REQUIRES: maxSide >= 1.
std::shared_ptr<Texture> LoadPreviewPicture(const std::string& path, int maxSide);
