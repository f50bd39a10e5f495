#pragma once

#include <string>
#include <string_view>

// Converts a page of the site from EUC-JP to the system's Shift-JIS, byte by
// byte and without a library, so that the resulting bytes are fixed:
//   0x8E b        -> b (half-width katakana; a trailing 0x8E is dropped)
//   0xA1..0xFE b  -> the JIS X 0208 code (lead & 0x7F, b & 0x7F) in Shift-JIS,
//                    or two zero bytes when row or cell is outside 0x21..0x7E
//                    (a lead byte at the very end pairs with a zero byte)
//   anything else -> copied unchanged
// Never reads past the end of `eucJp`. Thread-safe.
std::string EucJpToShiftJis(std::string_view eucJp);
