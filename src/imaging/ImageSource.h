#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// The bytes of one picture file, read front to back by the decoders in
// blocks, so a file is never held whole. ReadAt serves the formats whose
// rows lie in the file out of picture order. One thread at a time.
class ImageSource {
 public:
  virtual ~ImageSource() = default;
  // Total size in bytes.
  virtual std::uint64_t Size() const = 0;
  // Copies up to `size` bytes from the read position on and advances it;
  // returns how many, 0 at the end or on a read error.
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t size) = 0;
  // Copies exactly `size` bytes at `offset` without moving the read
  // position; false if they are not all there.
  virtual bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t size) = 0;
};

// A picture held in memory, borrowed for the source's life.
class MemoryImageSource : public ImageSource {
 public:
  explicit MemoryImageSource(std::span<const std::uint8_t> data) : data_(data) {}
  std::uint64_t Size() const override { return data_.size(); }
  std::size_t Read(std::uint8_t* buffer, std::size_t size) override;
  bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t size) override;

 private:
  std::span<const std::uint8_t> data_;
  std::size_t position_ = 0;
};
