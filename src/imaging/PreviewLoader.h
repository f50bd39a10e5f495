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
