#pragma once

#include <string>
#include <string_view>

// UTF-8 and UTF-16, for the edges that speak UTF-16 (the Windows API).
// Never fails: a byte that does not begin a valid UTF-8 sequence becomes
// U+FFFD, and so does an unpaired surrogate on the way back.
// The length of the valid UTF-8 sequence starting `text` and its code point;
// 0 when the first byte does not start one (stray continuation bytes,
// overlong forms, surrogates, values past U+10FFFF, sequences cut short).
size_t DecodeUtf8(std::string_view text, char32_t* codePoint);

// Appends the UTF-8 form of `codePoint` (at most U+10FFFF).
void AppendUtf8(std::string* out, char32_t codePoint);

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
