#include <gtest/gtest.h>

#include "infra/NumberToString.h"
#include "infra/TextEncoding.h"

namespace {

TEST(TextEncodingTest, JapaneseRoundTripsThroughShiftJis) {
  const std::string utf8 = "検索中ｷｬｯｼｭ更新～①髙";
  const std::string sjis = Utf8ToCp932(utf8);
  EXPECT_EQ(sjis.substr(0, 6), "\x8C\x9F\x8D\xF5\x92\x86");  // 検索中
  EXPECT_EQ(sjis.substr(6, 3), "\xB7\xAC\xAF");               // half-width katakana: one byte each
  EXPECT_EQ(Cp932ToUtf8(sjis), utf8);
}

TEST(TextEncodingTest, SjisTextConvertsItsLiteralOnce) {
  static const SjisText kWaiting{u8"待機中"};
  EXPECT_EQ(kWaiting.str(), "\x91\xD2\x8B\x40\x92\x86");
  EXPECT_EQ(kWaiting + "!", "\x91\xD2\x8B\x40\x92\x86!");
}

TEST(TextEncodingTest, BrokenShiftJisGivesVisibleReplacementAndGoesOn) {
  // A lead byte followed by a byte that cannot trail it, and a lead byte cut off at the end.
  EXPECT_EQ(Cp932ToUtf8("a\x81 b"), "a\xEF\xBF\xBD b");
  EXPECT_EQ(Cp932ToUtf8("ok\x82"), "ok\xEF\xBF\xBD");
}

TEST(TextEncodingTest, UnmappableUtf8BecomesOneQuestionMarkPerCharacter) {
  EXPECT_EQ(Utf8ToCp932("a\xF0\x9F\x98\x80z"), "a?z");     // an emoji has no Shift-JIS form
  EXPECT_EQ(Utf8ToCp932("a\xFF\xFEz"), "a??z");            // bytes that are not UTF-8
  EXPECT_EQ(Utf8ToCp932("cut\xE6\xA4"), "cut?");           // a sequence cut off at the end
}

// What log.txt shows for a path: Shift-JIS where it holds the character
// exactly, an escape otherwise. Each expectation is the log's bytes decoded.
TEST(TextEncodingTest, PathsForTheLogAreShiftJisWithVisibleEscapes) {
  const struct {
    std::string path;
    std::string shown;
  } cases[] = {
      {"/home/u/pic.png", "/home/u/pic.png"},
      {"/home/u/写真/猫.jpg", "/home/u/写真/猫.jpg"},
      {"～①髙ｷｬｯｼｭ∵", "～①髙ｷｬｯｼｭ∵"},           // vendor and half-width characters convert
      {"a〜b", "a\\u{301C}b"},                    // WAVE DASH would come back as U+FF5E
      {"¥100‖", "\\u{00A5}100\\u{2016}"},          // would come back as '\' and U+2225
      {"x😀.png", "x\\u{1F600}.png"},              // outside the code page
      {"a\\b", "a\\\\b"},                         // a backslash is doubled
      {"line\nbreak\t\x7F", "line\\u{000A}break\\u{0009}\\u{007F}"},
      {"c1\xC2\x85", "c1\\u{0085}"},
      {"\xFF\xFE", "\\x{FF}\\x{FE}"},              // bytes that are never UTF-8
      {"\x80" "a", "\\x{80}a"},                     // a stray continuation byte
      {"\xC0\xAF", "\\x{C0}\\x{AF}"},              // an overlong '/'
      {"\xED\xA0\x80", "\\x{ED}\\x{A0}\\x{80}"},   // a surrogate
      {"\xF4\x90\x80\x80", "\\x{F4}\\x{90}\\x{80}\\x{80}"},  // past U+10FFFF
      {"cut\xE7\x8C", "cut\\x{E7}\\x{8C}"},        // a character cut short
      {"\xE7\x8C\xAB\xE7\x8C", "猫\\x{E7}\\x{8C}"},  // decoding resumes after an escape
  };
  for (const auto& c : cases) {
    const std::string logged = PathForLog(c.path);
    EXPECT_EQ(logged, ValidCp932(logged)) << c.shown;  // decodes as code page 932 as it is
    EXPECT_EQ(Cp932ToUtf8(logged), c.shown) << c.shown;
  }
  EXPECT_EQ(PathForLog("猫"), "\x94\x4C");
}

// The log's last guard: whatever bytes a message holds, the file decodes.
TEST(TextEncodingTest, BytesThatAreNotShiftJisAreEscaped) {
  const struct {
    std::string bytes;
    std::string kept;
  } cases[] = {
      {"ok \x8C\x9F\xB7 \r", "ok \x8C\x9F\xB7 \r"},  // 検, half-width ｷ and a CR stay
      {"a\x80z", "a\\x{80}z"},
      {"\xA0\xFD\xFE\xFF", "\\x{A0}\\x{FD}\\x{FE}\\x{FF}"},
      {"\x85\x40", "\\x{85}@"},  // a lead byte whose pair has no character
      {"\x81\x20", "\\x{81} "},  // a lead byte before a byte that cannot trail
      {"end\x82", "end\\x{82}"},  // a lead byte cut off
  };
  for (const auto& c : cases) EXPECT_EQ(ValidCp932(c.bytes), c.kept) << c.kept;
}

TEST(TextEncodingTest, LongTextsConvertWhole) {
  std::string utf8;
  for (int i = 0; i < 5000; ++i) utf8 += "検";
  EXPECT_EQ(Cp932ToUtf8(Utf8ToCp932(utf8)), utf8);
}

TEST(NumberToStringTest, PadsToTheWidthWhenGiven) {
  EXPECT_EQ(NumberToString(123, 4), "0123");
  EXPECT_EQ(NumberToString(0, 4), "0000");
  EXPECT_EQ(NumberToString(12345, 4), "12345");
  EXPECT_EQ(NumberToString(-5, 4), "-005");
  EXPECT_EQ(NumberToString(-2147483647 - 1, 0), "-2147483648");
  EXPECT_EQ(NumberToString(42, 0), "42");
}

}  // namespace
