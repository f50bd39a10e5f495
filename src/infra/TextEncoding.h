#pragma once

#include <string>
#include <string_view>

// Conversions between the system's Shift-JIS (code page 932) byte strings and
// UTF-8, for the edges only: widgets, the terminal, file paths. They never
// fail: a byte sequence that cannot be converted becomes a visible
// replacement (U+FFFD in UTF-8, '?' in Shift-JIS) and conversion goes on.
std::string Cp932ToUtf8(std::string_view cp932);
std::string Utf8ToCp932(std::string_view utf8);

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
