#include "search/CacheTable.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "infra/Platform.h"

namespace {

// Chunks start small so a tiny table stays tiny, and stop growing where a
// chunk is a few MiB: large enough that per-chunk work vanishes, small enough
// that the unused tail of the last one stays negligible.
constexpr std::size_t kFirstChunkRows = CacheTable::kBlockRows;
constexpr std::size_t kMaxChunkRows = 64 * CacheTable::kBlockRows;
constexpr std::size_t kFirstTextBlock = 64 * 1024;
constexpr std::size_t kMaxTextBlock = 16 * 1024 * 1024;
constexpr std::size_t kSignatureAlignment = 64;

template <class T>
T* Allocate(std::size_t count, std::size_t alignment = 0) {
  const std::size_t bytes = count * sizeof(T);
  void* p = platform::AllocateAligned(std::max(alignment, alignof(std::max_align_t)), bytes);
  if (p == nullptr) throw std::bad_alloc();
  return static_cast<T*>(p);
}

std::string_view UpToZero(std::string_view text) {
  // An absent text (a NULL column) has no data pointer, which memchr must not see.
  if (text.empty()) return {};
  const void* zero = std::memchr(text.data(), 0, text.size());
  return zero == nullptr ? text : text.substr(0, static_cast<const char*>(zero) - text.data());
}

bool FitsByte(std::int32_t value) { return value >= 0 && value <= 255; }

}  // namespace

CacheTable::CacheTable() = default;
CacheTable::~CacheTable() = default;

void CacheTable::AddChunk() {
  Chunk chunk;
  chunk.firstRow = rowCount_;
  chunk.capacity = chunks_.empty() ? kFirstChunkRows : std::min(2 * chunks_.back().capacity, kMaxChunkRows);
  if (layout_ == Layout::kBytes) {
    const std::size_t size = chunk.capacity * kByteStride + kByteSlack;
    const std::size_t rounded = (size + kSignatureAlignment - 1) / kSignatureAlignment * kSignatureAlignment;
    chunk.bytes.reset(Allocate<std::uint8_t>(rounded, kSignatureAlignment));
    std::memset(chunk.bytes.get() + chunk.capacity * kByteStride, 0, rounded - chunk.capacity * kByteStride);
  } else {
    chunk.ints.reset(Allocate<std::int32_t>(chunk.capacity * kIntStride));
  }
  chunk.textRefs.reset(Allocate<std::uint64_t>(chunk.capacity));
  chunks_.push_back(std::move(chunk));
}

void CacheTable::ConvertToInt32() {
  // Allocate everything first so a failure leaves the table as it was.
  std::vector<Block<std::int32_t>> converted;
  converted.reserve(chunks_.size());
  for (const Chunk& chunk : chunks_) converted.emplace_back(Allocate<std::int32_t>(chunk.capacity * kIntStride));
  for (std::size_t c = 0; c < chunks_.size(); ++c) {
    Chunk& chunk = chunks_[c];
    for (std::size_t r = 0; r < chunk.rows; ++r) {
      for (std::size_t v = 0; v < kIntStride; ++v) {
        converted[c][r * kIntStride + v] = chunk.bytes[r * kByteStride + v];
      }
    }
    chunk.ints = std::move(converted[c]);
    chunk.bytes.reset();
  }
  layout_ = Layout::kInt32;
}

std::uint64_t CacheTable::StoreTexts(std::string_view id, std::string_view title, std::string_view name) {
  const std::size_t need = id.size() + title.size() + name.size() + 3;
  if (need > UINT32_MAX) throw std::bad_alloc();
  if (textBlocks_.empty() || textBlocks_.back().capacity - textBlocks_.back().used < need) {
    TextBlock block;
    const std::size_t grown =
        textBlocks_.empty() ? kFirstTextBlock : std::min(2 * textBlocks_.back().capacity, kMaxTextBlock);
    block.capacity = std::max(grown, need);
    block.data.reset(Allocate<char>(block.capacity));
    textBlocks_.push_back(std::move(block));
  }
  TextBlock& block = textBlocks_.back();
  const std::uint64_t ref = (static_cast<std::uint64_t>(textBlocks_.size() - 1) << 32) | block.used;
  char* out = block.data.get() + block.used;
  for (const std::string_view text : {id, title, name}) {
    if (!text.empty()) std::memcpy(out, text.data(), text.size());
    out += text.size();
    *out++ = '\0';
  }
  block.used += need;
  textBytes_ += need;
  return ref;
}

void CacheTable::Append(std::string_view id, std::string_view title, std::string_view name,
                        const ImageCache::Colours& signature) {
  id = UpToZero(id);
  title = UpToZero(title);
  name = UpToZero(name);
  if (layout_ == Layout::kBytes && !std::all_of(signature.begin(), signature.end(), FitsByte)) ConvertToInt32();
  if (chunks_.empty() || chunks_.back().rows == chunks_.back().capacity) AddChunk();
  const std::uint64_t ref = StoreTexts(id, title, name);

  Chunk& chunk = chunks_.back();
  if (layout_ == Layout::kBytes) {
    std::uint8_t* out = chunk.bytes.get() + chunk.rows * kByteStride;
    for (std::size_t v = 0; v < kByteStride; ++v) out[v] = static_cast<std::uint8_t>(signature[v]);
  } else {
    std::memcpy(chunk.ints.get() + chunk.rows * kIntStride, signature.data(), kIntStride * sizeof(std::int32_t));
  }
  chunk.textRefs[chunk.rows] = ref;
  ++chunk.rows;
  ++rowCount_;
}

const CacheTable::Chunk& CacheTable::ChunkOf(std::size_t row, std::size_t* index) const {
  const auto after = std::upper_bound(chunks_.begin(), chunks_.end(), row,
                                      [](std::size_t r, const Chunk& c) { return r < c.firstRow; });
  const auto& chunk = *(after - 1);
  *index = row - chunk.firstRow;
  return chunk;
}

const char* CacheTable::RowText(std::size_t row) const {
  std::size_t index = 0;
  const Chunk& chunk = ChunkOf(row, &index);
  const std::uint64_t ref = chunk.textRefs[index];
  return textBlocks_[ref >> 32].data.get() + (ref & 0xffffffffu);
}

std::string_view CacheTable::Id(std::size_t row) const { return RowText(row); }

std::string_view CacheTable::Title(std::size_t row) const {
  const char* id = RowText(row);
  return id + std::strlen(id) + 1;
}

std::string_view CacheTable::Name(std::size_t row) const {
  const char* title = Title(row).data();
  return title + std::strlen(title) + 1;
}

ImageCache::Colours CacheTable::Signature(std::size_t row) const {
  std::size_t index = 0;
  const Chunk& chunk = ChunkOf(row, &index);
  ImageCache::Colours colours{};
  for (std::size_t v = 0; v < kIntStride; ++v) {
    colours[v] = layout_ == Layout::kBytes ? chunk.bytes[index * kByteStride + v] : chunk.ints[index * kIntStride + v];
  }
  return colours;
}

std::size_t CacheTable::MemoryBytes() const {
  std::size_t bytes = sizeof(*this) + chunks_.capacity() * sizeof(Chunk) + textBlocks_.capacity() * sizeof(TextBlock);
  for (const Chunk& chunk : chunks_) {
    bytes += chunk.capacity * (sizeof(std::uint64_t) + (chunk.bytes ? kByteStride : kIntStride * sizeof(std::int32_t)));
    if (chunk.bytes) bytes += kByteSlack;
  }
  for (const TextBlock& block : textBlocks_) bytes += block.capacity;
  return bytes;
}
