#include "imaging/Texture.h"

#include <utility>

Texture::Texture(int width, int height, std::vector<std::uint32_t> pixels)
    : width_(width), height_(height), pixels_(std::move(pixels)) {
  pixels_.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
}
