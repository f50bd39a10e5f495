#include "search/SignatureValue.h"

#include <limits>

namespace {

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::int32_t ClampSignatureValue(std::int64_t value) {
  if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(value);
}

std::int32_t ParseSignatureValue(const char* text, std::size_t length) {
  if (text == nullptr) return 0;
  const char* p = text;
  const char* const end = text + length;
  while (p != end && IsBlank(*p)) ++p;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  // Accumulate in 64 bits and stop growing once past the 32-bit range, so an
  // absurdly long digit string saturates instead of overflowing.
  constexpr std::int64_t kLimit = std::int64_t{1} << 32;
  std::int64_t magnitude = 0;
  for (; p != end && *p >= '0' && *p <= '9'; ++p) {
    if (magnitude < kLimit) magnitude = magnitude * 10 + (*p - '0');
  }
  return ClampSignatureValue(negative ? -magnitude : magnitude);
}
