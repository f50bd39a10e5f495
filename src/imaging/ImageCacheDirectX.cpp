#include "imaging/ImageCacheDirectX.h"

// PLACEHOLDER: replaced by the imaging work.
bool ImageCacheDirectX::LoadImage(const std::string&) { return false; }
