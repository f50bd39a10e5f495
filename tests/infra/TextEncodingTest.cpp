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
