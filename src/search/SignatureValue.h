#pragma once

#include <cstddef>
#include <cstdint>

// One signature value of the cache table from its stored text, as a decimal
// integer: leading blanks (space, tab, line feed, vertical tab, form feed,
// carriage return) are skipped, then an optional '+' or '-', then digits up to
// the first other byte. Text without digits, an empty text and an absent value
// (nullptr) give 0. A number beyond the signed 32-bit range is held at the
// nearest end of it (INT32_MIN or INT32_MAX) instead of wrapping.
std::int32_t ParseSignatureValue(const char* text, std::size_t length);

// A stored integer value, held at the nearest end of the signed 32-bit range.
std::int32_t ClampSignatureValue(std::int64_t value);
