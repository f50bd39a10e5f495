#pragma once

#include <string>
#include <string_view>

// The window's edge between the program's texts and the Windows API's
// UTF-16: system texts are Shift-JIS bytes, paths and links UTF-8.
std::wstring ShownText(std::string_view sjis);
std::string SjisFromShown(std::wstring_view wide);
std::wstring WidePath(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);
