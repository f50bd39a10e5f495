#pragma once

#include <cstdint>
#include <string>

// Decimal text of `number`; when `width` is not 0, zero-padded to at least
// that many characters ("%0<width>ld"): NumberToString(123, 4) is "0123".
std::string NumberToString(std::int32_t number, int width);
