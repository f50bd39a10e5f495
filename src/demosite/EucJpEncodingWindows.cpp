#include "demosite/EucJpEncoding.h"

#include <windows.h>

#include "infra/WideText.h"

namespace {

// The system's EUC-JP (JIS X 0208 and 0212, half-width kana by SS2).
constexpr UINT kEucJp = 20932;

}  // namespace

// One code point at a time, so that each character EUC-JP cannot hold is one
// '?' (as on Linux), and no look-alike is put in its place.
std::string Utf8ToEucJp(std::string_view utf8) {
  std::string output;
  output.reserve(utf8.size());
  while (!utf8.empty()) {
    char32_t codePoint = 0;
    size_t length = DecodeUtf8(utf8, &codePoint);
    if (length == 0) {
      // Not UTF-8: skip the byte and any continuation bytes after it.
      length = 1;
      while (length < utf8.size() && length < 4 && (static_cast<unsigned char>(utf8[length]) & 0xC0) == 0x80)
        ++length;
      output.push_back('?');
    } else if (codePoint < 0x80) {
      output.push_back(static_cast<char>(codePoint));
    } else {
      std::string one;
      AppendUtf8(&one, codePoint);
      const std::u16string wide = Utf8ToUtf16(one);
      char bytes[8];
      BOOL usedDefault = FALSE;
      const int written = ::WideCharToMultiByte(kEucJp, WC_NO_BEST_FIT_CHARS,
                                                reinterpret_cast<const wchar_t*>(wide.data()),
                                                static_cast<int>(wide.size()), bytes, sizeof bytes, nullptr,
                                                &usedDefault);
      if (written <= 0 || usedDefault)
        output.push_back('?');
      else
        output.append(bytes, static_cast<size_t>(written));
    }
    utf8.remove_prefix(length);
  }
  return output;
}
