#pragma once

#include <string>
#include <string_view>

// How a file name (any bytes) is printed on one line of the command line's
// output, so that no name can add a line, split a field or reach the
// terminal as a control sequence, and two names never print alike.
//
// Text: UTF-8 characters stand for themselves, except
//   backslash -> \\    tab -> \t    newline -> \n    carriage return -> \r
//   any other control byte (0x00-0x1F), DEL (0x7F), the bytes of a C1
//   control character (U+0080-U+009F) and every byte that is not part of
//   valid UTF-8 (a stray, overlong, surrogate or out-of-range sequence)
//   -> \xHH (two lower-case hex digits of that byte).
// The result is printable valid UTF-8 without tab or newline; reading \\,
// \t, \n, \r and \xHH back gives the original bytes.
class OutputEscape {
 public:
  static std::string Text(std::string_view bytes);

  // A JSON string literal, quotes included: '"' and '\' escaped, control
  // characters (U+0000-U+001F, U+007F-U+009F) as \u00XX, every byte that is
  // not valid UTF-8 as the text \xHH (written \\xHH in the JSON). For a file
  // name use JsonString(Text(name)): its value is then the escaped text, as
  // in the tab-separated output, and tells every name apart.
  static std::string JsonString(std::string_view text);
};
