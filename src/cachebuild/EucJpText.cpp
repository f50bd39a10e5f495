#include "cachebuild/EucJpText.h"

namespace {

constexpr unsigned char kSingleShift2 = 0x8E;

bool InJisRange(unsigned value) { return value >= 0x21 && value <= 0x7E; }

// The standard JIS X 0208 row/cell to Shift-JIS transformation.
void AppendShiftJis(unsigned row, unsigned cell, std::string& out) {
  if (!InJisRange(row) || !InJisRange(cell)) {
    out.push_back('\0');
    out.push_back('\0');
    return;
  }
  const unsigned lead = ((row + 1) >> 1) + (row <= 0x5E ? 0x70 : 0xB0);
  unsigned trail;
  if (row & 1)
    trail = cell + (cell >= 0x60 ? 0x20 : 0x1F);
  else
    trail = cell + 0x7E;
  out.push_back(static_cast<char>(lead));
  out.push_back(static_cast<char>(trail));
}

}  // namespace

std::string EucJpToShiftJis(std::string_view eucJp) {
  std::string out;
  out.reserve(eucJp.size());
  const size_t size = eucJp.size();
  for (size_t i = 0; i < size; ++i) {
    const auto byte = static_cast<unsigned char>(eucJp[i]);
    if (byte == kSingleShift2) {
      if (i + 1 < size) out.push_back(eucJp[++i]);
    } else if (byte >= 0xA1 && byte <= 0xFE) {
      const unsigned next = i + 1 < size ? static_cast<unsigned char>(eucJp[++i]) : 0u;
      AppendShiftJis(byte & 0x7Fu, next & 0x7Fu, out);
    } else {
      out.push_back(static_cast<char>(byte));
    }
  }
  return out;
}
