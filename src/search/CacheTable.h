#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "infra/Platform.h"

#include "imaging/ImageCache.h"

// The cache table held in memory: for every row of "TintwiseCache", in table
// order, the id, title and poster name texts (Shift-JIS bytes, as stored) and
// the 27 signature values already converted to integers.
//
// Rows live in chunks whose sizes are multiples of kBlockRows, so the search
// can report progress between blocks without per-row checks. Signatures are
// packed one byte per value, rows back to back (kByteStride bytes a row), while
// every value seen fits 0..255; the first value outside that range converts the
// table to exact 32-bit values (kIntStride a row). The three texts of a row are
// kept together, each zero-terminated, in a shared text arena.
//
// Built by one thread (CacheLoader); afterwards read-only and safe to read from
// any number of threads.
class CacheTable {
 public:
  static constexpr int kValueCount = ImageCache::kValueCount;
  static constexpr std::size_t kByteStride = kValueCount;
  // Zero bytes after a chunk's last packed row, so that a 32-byte load at any
  // row start stays inside the allocation.
  static constexpr std::size_t kByteSlack = 32;
  static constexpr std::size_t kIntStride = kValueCount;
  // Progress granularity of the search: every chunk holds a multiple of it.
  static constexpr std::size_t kBlockRows = 1000;

  enum class Layout { kBytes, kInt32 };

  CacheTable();
  ~CacheTable();
  CacheTable(const CacheTable&) = delete;
  CacheTable& operator=(const CacheTable&) = delete;

  // Adds one row at the end. A text is cut at its first zero byte, as a
  // zero-terminated reader would see it. Throws std::bad_alloc when memory
  // runs out (the loader turns that into a failed load).
  void Append(std::string_view id, std::string_view title, std::string_view name,
              const ImageCache::Colours& signature);

  std::size_t RowCount() const { return rowCount_; }
  Layout GetLayout() const { return layout_; }

  // Texts of row `row` (0-based, < RowCount()); valid while the table lives.
  std::string_view Id(std::size_t row) const;
  std::string_view Title(std::size_t row) const;
  std::string_view Name(std::size_t row) const;
  // The 27 values of row `row`, as loaded.
  ImageCache::Colours Signature(std::size_t row) const;

  // Raw access for the search: chunk i holds ChunkRows(i) rows starting at row
  // ChunkFirstRow(i); its signatures are at ChunkBytes(i) (kBytes layout,
  // kByteStride per row, then kByteSlack zero bytes) or ChunkInts(i) (kInt32 layout,
  // kIntStride per row). The other pointer is nullptr.
  std::size_t ChunkCount() const { return chunks_.size(); }
  std::size_t ChunkRows(std::size_t i) const { return chunks_[i].rows; }
  std::size_t ChunkFirstRow(std::size_t i) const { return chunks_[i].firstRow; }
  const std::uint8_t* ChunkBytes(std::size_t i) const { return chunks_[i].bytes.get(); }
  const std::int32_t* ChunkInts(std::size_t i) const { return chunks_[i].ints.get(); }

  // Bytes allocated for the whole table, and the part of it that is the row
  // texts themselves (with their terminators).
  std::size_t MemoryBytes() const;
  std::size_t TextBytes() const { return textBytes_; }

 private:
  struct FreeDeleter {
    void operator()(void* p) const { platform::FreeAligned(p); }
  };
  template <class T>
  using Block = std::unique_ptr<T[], FreeDeleter>;

  struct Chunk {
    std::size_t firstRow = 0;
    std::size_t capacity = 0;
    std::size_t rows = 0;
    Block<std::uint8_t> bytes;
    Block<std::int32_t> ints;
    Block<std::uint64_t> textRefs;  // (text block << 32) | offset in it
  };
  struct TextBlock {
    Block<char> data;
    std::size_t capacity = 0;
    std::size_t used = 0;
  };

  void AddChunk();
  void ConvertToInt32();
  std::uint64_t StoreTexts(std::string_view id, std::string_view title, std::string_view name);
  const Chunk& ChunkOf(std::size_t row, std::size_t* index) const;
  const char* RowText(std::size_t row) const;

  Layout layout_ = Layout::kBytes;
  std::size_t rowCount_ = 0;
  std::size_t textBytes_ = 0;
  std::vector<Chunk> chunks_;
  std::vector<TextBlock> textBlocks_;
};
