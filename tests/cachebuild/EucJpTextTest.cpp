#include <gtest/gtest.h>

#include <string>

#include "cachebuild/EucJpText.h"
#include "demosite/EucJpEncoding.h"
#include "infra/TextEncoding.h"

namespace {

struct Case {
  const char* name;
  std::string eucJp;
  std::string shiftJis;
};

TEST(EucJpTextTest, ConvertsByTheFixedRules) {
  const Case cases[] = {
      {"hiragana a", "\xA4\xA2", "\x82\xA0"},
      {"half-width katakana", "\x8E\xB1", "\xB1"},
      {"ascii", "AB", "AB"},
      {"even row", "\xB0\xA1", "\x88\x9F"},
      {"odd row, low cell", "\xA1\xA1", "\x81\x40"},
      {"odd row, cell from 0x60", "\xA1\xE0", "\x81\x80"},
      {"row past 0x5E", "\xE0\xA1", "\xE0\x9F"},
      {"first even row", "\xA2\xA1", "\x81\x9F"},
      {"odd row, cell 0x5F", "\xA1\xDF", "\x81\x7E"},
      {"row 0x5D", "\xDD\xA1", "\x9F\x40"},
      {"row 0x5E, first cell", "\xDE\xA1", "\x9F\x9F"},
      {"row 0x5E, last cell", "\xDE\xFE", "\x9F\xFC"},
      {"row 0x5F, first cell", "\xDF\xA1", "\xE0\x40"},
      {"row 0x5F, cell 0x5F", "\xDF\xDF", "\xE0\x7E"},
      {"row 0x5F, cell 0x60", "\xDF\xE0", "\xE0\x80"},
      {"last row and cell", "\xFE\xFE", std::string("\xEF\xFC", 2)},
      {"cell below range", "\xA4\xA0", std::string(2, '\0')},
      {"cell above range", "\xA4\xFF", std::string(2, '\0')},
      {"cell from an ascii byte", "\xA4\x41", "\x82\xBF"},
      {"lead byte at the end", "A\xA4", std::string("A\0\0", 3)},
      {"single shift at the end", "A\x8E", "A"},
      {"other high bytes copied", "\x80\x8F\xA0\xFF", "\x80\x8F\xA0\xFF"},
  };
  for (const Case& c : cases) EXPECT_EQ(EucJpToShiftJis(c.eucJp), c.shiftJis) << c.name;
}

TEST(EucJpTextTest, AgreesWithTheSystemEncodingOnJapaneseText) {
  const char* const texts[] = {"画像投稿サイトの作品、投稿者情報:さくら様", "ﾈｺﾉﾋﾙﾈ・ｶﾀｶﾅ",
                               "漢字かな交じり文（全角）＆記号〒", "表示能力",
                               "沺滌漾烝烙檗"};  // rows 0x5D to 0x5F, either side of the lead-byte gap
  for (const char* text : texts) EXPECT_EQ(EucJpToShiftJis(Utf8ToEucJp(text)), Utf8ToCp932(text)) << text;
}

}  // namespace
