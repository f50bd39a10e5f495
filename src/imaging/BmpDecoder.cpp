#include "imaging/BmpDecoder.h"

#include <algorithm>
#include <array>
#include <vector>

#include "imaging/DecodedImageSink.h"

namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

bool Fail(ImageError* error, const char* reason) {
  return ImageError::Fail(error, ImageErrorKind::kDamaged, reason);
}

bool Unsupported(ImageError* error, const char* reason) {
  return ImageError::Fail(error, ImageErrorKind::kUnsupported, reason);
}

// The headers, bit fields and colour table all lie within this many bytes
// of the start: 14 + a 124-byte header + 12 bytes of masks + 256 entries.
constexpr size_t kHeadBytes = 14 + 124 + 16 + 256 * 4;

// A contiguous bit field of a 16- or 32-bit pixel.
struct BitField {
  int shift = 0;
  int bits = 0;  // 0: channel absent
  // Samples wider than 16 bits keep their top 16.
  int dropped = 0;

  static bool FromMask(std::uint32_t mask, BitField* field) {
    *field = BitField{};
    if (mask == 0) return true;
    while (!(mask & 1u)) {
      mask >>= 1;
      ++field->shift;
    }
    while (mask & 1u) {
      mask >>= 1;
      ++field->bits;
    }
    if (mask != 0) return false;  // not contiguous
    if (field->bits > 16) field->dropped = field->bits - 16;
    return true;
  }
  int StoredBits() const { return bits - dropped; }
  std::uint16_t Max() const { return static_cast<std::uint16_t>((1u << StoredBits()) - 1); }
  std::uint16_t Extract(std::uint32_t pixel) const {
    return static_cast<std::uint16_t>((pixel >> (shift + dropped)) & Max());
  }
};

struct Header {
  std::int64_t width = 0;
  std::int64_t height = 0;  // positive; topDown tells the row order
  bool topDown = false;
  int bitsPerPixel = 0;
  std::uint32_t compression = kBiRgb;
  std::uint32_t coloursUsed = 0;
  size_t headerSize = 0;
  bool coreHeader = false;
  std::array<std::uint32_t, 4> masks{};  // red, green, blue, alpha
  bool masksInHeader = false;
};

bool ReadHeader(std::span<const std::uint8_t> data, Header* header, ImageError* error) {
  if (data.size() < 14 + 12) return Fail(error, "BMP: file too short for its headers");
  if (data[0] != 'B' || data[1] != 'M') return Fail(error, "BMP: missing signature");
  const std::uint8_t* info = data.data() + 14;
  header->headerSize = Le32(info);
  if (header->headerSize == 12) {
    header->coreHeader = true;
    header->width = Le16(info + 4);
    header->height = Le16(info + 6);
    header->bitsPerPixel = Le16(info + 10);
  } else if (header->headerSize >= 40 && header->headerSize <= 124) {
    if (data.size() < 14 + header->headerSize) return Fail(error, "BMP: truncated info header");
    header->width = static_cast<std::int32_t>(Le32(info + 4));
    header->height = static_cast<std::int32_t>(Le32(info + 8));
    header->bitsPerPixel = Le16(info + 14);
    header->compression = Le32(info + 16);
    header->coloursUsed = Le32(info + 32);
    if (header->headerSize >= 52) {
      header->masks = {Le32(info + 40), Le32(info + 44), Le32(info + 48), 0};
      header->masksInHeader = true;
    }
    if (header->headerSize >= 56) header->masks[3] = Le32(info + 52);
  } else {
    return Unsupported(error, "BMP: unknown header size");
  }
  if (header->height < 0) {
    header->topDown = true;
    header->height = -header->height;
  }
  if (header->width <= 0 || header->height <= 0) return Fail(error, "BMP: empty or negative size");
  if (!DecodedImage::SizeAcceptable(static_cast<std::uint64_t>(header->width),
                                    static_cast<std::uint64_t>(header->height))) {
    return ImageError::Fail(error, ImageErrorKind::kTooLarge, "BMP: picture too large");
  }
  return true;
}

bool ReadColourTable(std::span<const std::uint8_t> data, const Header& header,
                     std::vector<std::array<std::uint8_t, 4>>* table, ImageError* error) {
  const size_t entrySize = header.coreHeader ? 3 : 4;
  size_t count = header.coloursUsed;
  const size_t maxCount = size_t{1} << header.bitsPerPixel;
  if (count == 0 || count > maxCount) count = maxCount;
  const size_t offset = 14 + header.headerSize +
                        (header.compression == kBiBitfields && header.headerSize == 40 ? 12 : 0);
  if (offset > data.size()) return Fail(error, "BMP: truncated colour table");
  // A short table is cut to what the file holds; missing entries read as black.
  const size_t available = (data.size() - offset) / entrySize;
  if (available < count) count = available;
  table->assign(maxCount, {0, 0, 0, 255});
  for (size_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = data.data() + offset + i * entrySize;
    (*table)[i] = {entry[2], entry[1], entry[0], 255};
  }
  return true;
}

}  // namespace

bool DecodeBmp(ImageSource& input, RowSink& sink, ImageError* error) {
  const std::uint64_t fileSize = input.Size();
  std::vector<std::uint8_t> head(static_cast<size_t>(std::min<std::uint64_t>(fileSize, kHeadBytes)));
  if (!input.ReadAt(0, head.data(), head.size())) return Fail(error, "BMP: cannot read the headers");
  const std::span<const std::uint8_t> data(head);
  Header header;
  if (!ReadHeader(data, &header, error)) return false;
  const int bpp = header.bitsPerPixel;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
    return Unsupported(error, "BMP: unsupported bits per pixel");
  }
  const bool bitfields = header.compression == kBiBitfields || header.compression == kBiAlphaBitfields;
  if (header.compression != kBiRgb && !bitfields) return Unsupported(error, "BMP: unsupported compression");
  if (bitfields && bpp != 16 && bpp != 32) return Fail(error, "BMP: bit fields need 16 or 32 bits per pixel");

  const std::uint32_t pixelOffset = Le32(data.data() + 10);
  const std::uint64_t stride = (static_cast<std::uint64_t>(header.width) * static_cast<std::uint64_t>(bpp) + 31) / 32 * 4;
  // The last row in the file may stop at its last pixel, without padding.
  const std::uint64_t lastRowBytes = (static_cast<std::uint64_t>(header.width) * static_cast<std::uint64_t>(bpp) + 7) / 8;
  const std::uint64_t needed = static_cast<std::uint64_t>(pixelOffset) + stride * static_cast<std::uint64_t>(header.height - 1) +
                               lastRowBytes;
  if (pixelOffset < 14 + header.headerSize || needed > fileSize) return Fail(error, "BMP: truncated pixel data");

  std::vector<std::array<std::uint8_t, 4>> table;
  if (bpp <= 8 && !ReadColourTable(data, header, &table, error)) return false;

  std::array<BitField, 4> fields{};
  if (bpp == 16 || bpp == 32) {
    std::array<std::uint32_t, 4> masks{};
    if (bitfields) {
      if (header.masksInHeader) {
        masks = header.masks;
        if (header.compression == kBiBitfields && header.headerSize < 56) masks[3] = 0;
      } else {
        const size_t maskOffset = 14 + header.headerSize;
        const size_t maskCount = header.compression == kBiAlphaBitfields ? 4 : 3;
        if (maskOffset + maskCount * 4 > data.size()) return Fail(error, "BMP: truncated bit fields");
        for (size_t i = 0; i < maskCount; ++i) masks[i] = Le32(data.data() + maskOffset + i * 4);
      }
    } else if (bpp == 16) {
      masks = {0x7C00, 0x03E0, 0x001F, 0};
    } else {
      masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0};
    }
    if (bpp == 16) {
      for (auto& mask : masks) mask &= 0xFFFF;
    }
    for (size_t i = 0; i < 4; ++i) {
      if (!BitField::FromMask(masks[i], &fields[i])) return Fail(error, "BMP: bit field mask not contiguous");
    }
  }

  bool sixteenBit = false;
  for (const BitField& field : fields) sixteenBit = sixteenBit || field.StoredBits() > 8;
  const int width = static_cast<int>(header.width);
  const int height = static_cast<int>(header.height);
  const std::uint16_t fullMax = sixteenBit ? 65535 : 255;
  RowLayout layout{width, height, sixteenBit, {fullMax, fullMax, fullMax, fullMax}};
  if (bpp == 16 || bpp == 32) {
    // An absent colour field reads as 0; an absent alpha field as opaque.
    for (size_t i = 0; i < 4; ++i) {
      if (fields[i].bits != 0) layout.channelMax[i] = fields[i].Max();
    }
  }
  if (!StartRows(sink, layout, "BMP", error)) return false;

  // Rows are read in blocks of file rows; a bottom-up file's blocks are
  // taken from its end and their rows handed on in reverse.
  const size_t blockRows = static_cast<size_t>(std::max<std::uint64_t>(1, (256 * 1024) / stride));
  std::vector<std::uint8_t> block(static_cast<size_t>(stride) * blockRows);
  std::int64_t blockFirst = -1;  // file row of block[0]
  size_t blockCount = 0;
  auto fileRowData = [&](std::int64_t fileRow) -> const std::uint8_t* {
    if (blockFirst < 0 || fileRow < blockFirst || fileRow >= blockFirst + static_cast<std::int64_t>(blockCount)) {
      const std::int64_t rows = static_cast<std::int64_t>(blockRows);
      blockFirst = header.topDown ? fileRow : std::max<std::int64_t>(0, fileRow - rows + 1);
      blockCount = static_cast<size_t>(std::min<std::int64_t>(rows, header.height - blockFirst));
      const bool holdsLast = blockFirst + static_cast<std::int64_t>(blockCount) == header.height;
      const std::uint64_t bytes = stride * (blockCount - 1) + (holdsLast ? lastRowBytes : stride);
      if (!input.ReadAt(pixelOffset + stride * static_cast<std::uint64_t>(blockFirst), block.data(), static_cast<size_t>(bytes))) {
        return nullptr;
      }
    }
    return block.data() + static_cast<size_t>(stride) * static_cast<size_t>(fileRow - blockFirst);
  };

  for (int y = 0; y < height; ++y) {
    const int fileRow = header.topDown ? y : height - 1 - y;
    const std::uint8_t* src = fileRowData(fileRow);
    if (src == nullptr) return Fail(error, "BMP: cannot read the pixel data");
    void* target = sink.NextRow();
    std::uint8_t* dst8 = sixteenBit ? nullptr : static_cast<std::uint8_t*>(target);
    std::uint16_t* dst16 = sixteenBit ? static_cast<std::uint16_t*>(target) : nullptr;
    for (int x = 0; x < width; ++x) {
      std::array<std::uint16_t, 4> s{};
      if (bpp <= 8) {
        const int bitPos = x * bpp;
        const int index = (src[bitPos / 8] >> (8 - bpp - bitPos % 8)) & ((1 << bpp) - 1);
        const auto& colour = table[static_cast<size_t>(index)];
        s = {colour[0], colour[1], colour[2], colour[3]};
      } else if (bpp == 24) {
        const std::uint8_t* p = src + static_cast<size_t>(x) * 3;
        s = {p[2], p[1], p[0], 255};
      } else {
        const std::uint32_t pixel = bpp == 16 ? Le16(src + static_cast<size_t>(x) * 2) : Le32(src + static_cast<size_t>(x) * 4);
        for (size_t c = 0; c < 4; ++c) {
          s[c] = fields[c].bits == 0 ? (c == 3 ? layout.channelMax[3] : 0) : fields[c].Extract(pixel);
        }
      }
      for (size_t c = 0; c < 4; ++c) {
        if (sixteenBit) {
          dst16[static_cast<size_t>(x) * 4 + c] = s[c];
        } else {
          dst8[static_cast<size_t>(x) * 4 + c] = static_cast<std::uint8_t>(s[c]);
        }
      }
    }
    sink.CommitRow();
  }
  return true;
}

bool DecodeBmp(std::span<const std::uint8_t> data, DecodedImage* out, std::string* error) {
  return DecodeWhole(DecodeBmp, data, out, error);
}
