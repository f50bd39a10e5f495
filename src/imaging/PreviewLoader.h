#pragma once

#include <memory>
#include <string>

#include "imaging/Texture.h"

// Loads the image file at `path` as the main window's preview texture, at the
// picture's own size rounded up to powers of two (see D3DDevice). A path whose
// lowered form contains ".gif" is decoded and passed through a temporary BMP
// file beside it, which never replaces an existing file and is removed again.
// Failures are logged with the "CTintwiseDlg::LoadImage() : " texts and give
// null. Uses the current device; without one every load fails.
// Any thread may call it.
std::shared_ptr<Texture> LoadPreviewTexture(const std::string& path);
