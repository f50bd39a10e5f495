#include <gtest/gtest.h>

#include <string>

#include "cli/OutputEscape.h"

// Each row: a name's bytes, its escaped text, and that text as a JSON string.
TEST(OutputEscapeTest, EscapesControlsBackslashAndInvalidUtf8AtTheirBoundaries) {
  const struct {
    std::string bytes;
    std::string text;
    std::string json;  // JsonString(Text(bytes))
  } cases[] = {
      {"plain/a b.png", "plain/a b.png", "\"plain/a b.png\""},
      {"a.png\nposted\t0\r", "a.png\\nposted\\t0\\r", "\"a.png\\\\nposted\\\\t0\\\\r\""},
      {std::string("\x00\x1f\x20", 3), "\\x00\\x1f ", "\"\\\\x00\\\\x1f \""},
      {"\x1b[31m~\x7f", "\\x1b[31m~\\x7f", "\"\\\\x1b[31m~\\\\x7f\""},
      {"back\\slash\"", "back\\\\slash\"", "\"back\\\\\\\\slash\\\"\""},
      {"\x80", "\\x80", "\"\\\\x80\""},                                // a stray continuation byte
      {"\xc2\x9b\xc2\xa0", "\\xc2\\x9b\xc2\xa0", "\"\\\\xc2\\\\x9b\xc2\xa0\""},  // C1 CSI; U+00A0 stays
      {"\xe7\xb5\xb5", "\xe7\xb5\xb5", "\"\xe7\xb5\xb5\""},            // a valid character
      {"\xe7\xb5", "\\xe7\\xb5", "\"\\\\xe7\\\\xb5\""},                // cut short
      {"\xc0\xaf", "\\xc0\\xaf", "\"\\\\xc0\\\\xaf\""},                // overlong '/'
      {"\xe0\x80\xaf", "\\xe0\\x80\\xaf", "\"\\\\xe0\\\\x80\\\\xaf\""},  // overlong, three bytes
      {"\xed\xa0\x80", "\\xed\\xa0\\x80", "\"\\\\xed\\\\xa0\\\\x80\""},  // a surrogate
      {"\xf4\x8f\xbf\xbf\xf4\x90\x80\x80", "\xf4\x8f\xbf\xbf\\xf4\\x90\\x80\\x80",
       "\"\xf4\x8f\xbf\xbf\\\\xf4\\\\x90\\\\x80\\\\x80\""},            // U+10FFFF, then past it
      {"\xff\\xff", "\\xff\\\\xff", "\"\\\\xff\\\\\\\\xff\""},         // a byte and its look-alike text
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    EXPECT_EQ(OutputEscape::Text(c.bytes), c.text);
    EXPECT_EQ(OutputEscape::JsonString(OutputEscape::Text(c.bytes)), c.json);
  }
  // Any text, not only escaped names, becomes a valid JSON string.
  EXPECT_EQ(OutputEscape::JsonString("t\x01\t\x7f\xc2\x85\xff\"\\"),
            "\"t\\u0001\\u0009\\u007f\\u0085\\\\xff\\\"\\\\\"");
}
