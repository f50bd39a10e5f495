#pragma once

#include <memory>
#include <string>
#include <string_view>

// One direction of the conversion between code page 932 (Shift-JIS with
// the vendor characters) and UTF-8, through the system's own tables (iconv
// on Linux, the code page functions on Windows). Both give the same answer
// for every one- and two-byte value: where Windows' table maps a byte the
// Linux one leaves undefined (0x80, 0xA0, 0xFD-0xFF) it is undefined here
// too, so log.txt and cache.db hold the same bytes on both. Each thread
// uses its own converter (ForThisThread).
class Cp932Converter {
 public:
  enum class Direction { kToUtf8, kFromUtf8 };

  explicit Cp932Converter(Direction direction);
  ~Cp932Converter();
  Cp932Converter(const Cp932Converter&) = delete;
  Cp932Converter& operator=(const Cp932Converter&) = delete;

  // This thread's converter for `direction`.
  static const Cp932Converter& ForThisThread(Direction direction);

  // Converts all of `input` into *output; false, with *output unspecified,
  // when any of it cannot be converted.
  bool ConvertExactly(std::string_view input, std::string* output) const;

  // Converts all of `input`; each character that cannot be taken is
  // skipped and `replacement` written in its place (a whole UTF-8 sequence
  // at a time from UTF-8, one byte at a time from code page 932).
  std::string Convert(std::string_view input, std::string_view replacement) const;

 private:
  struct State;
  Direction direction_;
  std::unique_ptr<State> state_;
};
