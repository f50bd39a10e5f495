#pragma once

#include <string>
#include <string_view>

// Conversions between the system's Shift-JIS (code page 932) byte strings and
// UTF-8, for the edges only: widgets, the terminal, file paths. They never
// fail: a byte sequence that cannot be converted becomes a visible
// replacement (U+FFFD in UTF-8, '?' in Shift-JIS) and conversion goes on.
std::string Cp932ToUtf8(std::string_view cp932);
std::string Utf8ToCp932(std::string_view utf8);

// A file-system path or URL (UTF-8 bytes, as the system receives them) as
// Shift-JIS for log.txt. Unlike Utf8ToCp932 nothing is lost, so a logged
// path still names its file exactly:
//   - a character is converted when Shift-JIS holds it exactly (it decodes
//     back to the same character); others, such as U+301C WAVE DASH (which
//     would come back as U+FF5E), U+00A5 or an emoji, and control characters
//     (U+0000-U+001F, U+007F-U+009F), are written as \u{XXXX}: the code point
//     in upper-case hexadecimal, at least four digits ("\u{1F600}");
//   - a byte that does not begin a valid UTF-8 sequence (overlong forms and
//     surrogates included) is written as \x{HH}, and decoding resumes after it;
//   - a backslash is written twice, so the escapes above are never ambiguous.
std::string PathForLog(std::string_view utf8);

// `bytes` unchanged where they decode as Shift-JIS (code page 932); each byte
// that does not is written as \x{HH}. What log.txt receives always decodes.
std::string ValidCp932(std::string_view bytes);

// A fixed text of the system, written as a readable UTF-8 literal in the
// source and converted to Shift-JIS once, when it is constructed.
//   static const SjisText kDone{u8"検索終了"};
class SjisText {
 public:
  explicit SjisText(std::u8string_view utf8);
  const std::string& str() const { return text_; }
  operator const std::string&() const { return text_; }

 private:
  std::string text_;
};

inline std::string operator+(const SjisText& a, const std::string& b) { return a.str() + b; }
inline std::string operator+(const std::string& a, const SjisText& b) { return a + b.str(); }
inline std::string operator+(const SjisText& a, const char* b) { return a.str() + b; }
