#include "app/win/WinText.h"

#include "infra/TextEncoding.h"
#include "infra/WideText.h"

// wchar_t is 16 bits wide on Windows: UTF-16 as the API takes it.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::wstring ShownText(std::string_view sjis) { return WidePath(Cp932ToUtf8(sjis)); }

std::string SjisFromShown(std::wstring_view wide) { return Utf8ToCp932(Utf8FromWide(wide)); }

std::wstring WidePath(std::string_view utf8) {
  const std::u16string text = Utf8ToUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}

std::string Utf8FromWide(std::wstring_view wide) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}
