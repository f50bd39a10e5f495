#include "search/SignatureValue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

std::int32_t Parse(const char* text) { return ParseSignatureValue(text, std::strlen(text)); }

TEST(SignatureValueTest, ReadsDecimalPrefixOfText) {
  const struct {
    const char* text;
    std::int32_t value;
  } cases[] = {
      {"0", 0},       {"255", 255},     {"007", 7},      {"  42", 42},   {"\t\r\n 9", 9}, {"+12", 12},
      {"-12", -12},   {"12abc", 12},    {"12.9", 12},    {"1.0e+20", 1}, {"abc", 0},     {"", 0},
      {"-", 0},       {"+ 5", 0},       {"--5", 0},      {" -0", 0},     {"3 4", 3},
  };
  for (const auto& c : cases) EXPECT_EQ(c.value, Parse(c.text)) << '"' << c.text << '"';
}

TEST(SignatureValueTest, AbsentValueIsZero) { EXPECT_EQ(0, ParseSignatureValue(nullptr, 0)); }

TEST(SignatureValueTest, StopsAtLengthAndAtZeroByte) {
  EXPECT_EQ(12, ParseSignatureValue("1234", 2));
  EXPECT_EQ(12, ParseSignatureValue("12\0" "34", 5));
}

TEST(SignatureValueTest, NumbersBeyondThirtyTwoBitsSaturate) {
  EXPECT_EQ(kMax, Parse("2147483647"));
  EXPECT_EQ(kMin, Parse("-2147483648"));
  EXPECT_EQ(kMax, Parse("2147483648"));
  EXPECT_EQ(kMin, Parse("-2147483649"));
  EXPECT_EQ(kMax, Parse("99999999999999999999999999999999999999"));
  EXPECT_EQ(kMin, Parse("-99999999999999999999999999999999999999"));
  EXPECT_EQ(kMax, ClampSignatureValue(std::numeric_limits<std::int64_t>::max()));
  EXPECT_EQ(-5, ClampSignatureValue(-5));
}

}  // namespace
