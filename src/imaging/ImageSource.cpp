#include "imaging/ImageSource.h"

#include <cstring>

std::size_t MemoryImageSource::Read(std::uint8_t* buffer, std::size_t size) {
  const std::size_t count = size < data_.size() - position_ ? size : data_.size() - position_;
  if (count) std::memcpy(buffer, data_.data() + position_, count);
  position_ += count;
  return count;
}

bool MemoryImageSource::ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t size) {
  if (offset > data_.size() || size > data_.size() - offset) return false;
  if (size) std::memcpy(buffer, data_.data() + offset, size);
  return true;
}
