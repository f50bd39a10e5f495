#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "support/SitePages.h"
#include "cachebuild/MakeCacheDirectX.h"
#include "demosite/EucJpEncoding.h"
#include "infra/InternetSession.h"
#include "infra/TextEncoding.h"
#include "support/ProgramDirectoryTest.h"

namespace {

class MakeCachePageTest : public ProgramDirectoryTest {
 protected:
  // Parses a page written in UTF-8 (sent as EUC-JP).
  bool Parse(const std::string& utf8Page) { return builder_->ParsePage(Utf8ToEucJp(utf8Page)); }
  bool ParseFields(const PageFields& fields) { return builder_->ParsePage(MakePage(fields)); }
  // The page around a title element holding `text`.
  bool ParseTitle(const std::string& text) {
    return Parse("<title>" + text + "</title><x>../ii:>1 ../ii:>2");
  }
  static std::string Sjis(const std::string& utf8) { return Utf8ToCp932(utf8); }

  // Made once the program directory is the test's own: the builder makes
  // its folders there.
  void SetUp() override {
    ProgramDirectoryTest::SetUp();
    builder_.emplace(session_, "1", true);
  }

  InternetSession session_{"Tintwise"};
  std::optional<MakeCacheDirectX> builder_;
};

TEST_F(MakeCachePageTest, StandardPageGivesEveryField) {
  PageFields fields;
  fields.title = "夕焼けの海";
  fields.name = "さくら";
  fields.imageUrl = "http://site/img/a.jpg";
  fields.good = 42;
  fields.bad = 7;
  ASSERT_TRUE(ParseFields(fields));
  EXPECT_EQ(builder_->title, Sjis("夕焼けの海"));
  EXPECT_EQ(builder_->name, Sjis("さくら様"));
  EXPECT_EQ(builder_->imageUrl, "http://site/img/a.jpg");
  EXPECT_FALSE(builder_->adult);
  EXPECT_EQ(builder_->good, 42);
  EXPECT_EQ(builder_->bad, 7);
}

TEST_F(MakeCachePageTest, TitleTextStartsFiveBytesAfterTheTag) {
  EXPECT_TRUE(ParseTitle("abc"));  // 3 bytes: starts inside the closing tag, after its slash
  EXPECT_EQ(builder_->title, "title>");
  EXPECT_FALSE(ParseTitle("abcd"));  // 4 bytes: "/title" is taken
  EXPECT_EQ(builder_->title, "/title>");
  builder_->title.clear();
  EXPECT_TRUE(ParseTitle("abcde"));
  EXPECT_EQ(builder_->title, "");
  EXPECT_TRUE(ParseTitle("abcdef"));
  EXPECT_EQ(builder_->title, "f");
}

TEST_F(MakeCachePageTest, TitleStopsAtAZeroByteFromTheConversion) {
  // A4 20 has a cell out of range and becomes two zero bytes.
  ASSERT_TRUE(builder_->ParsePage("<title>mofu!ab\xA4\x20" "cd</title>../ii:>1 ../ii:>2"));
  EXPECT_EQ(builder_->title, "ab");
}

TEST_F(MakeCachePageTest, NameWithoutHonorificKeeps256Bytes) {
  ASSERT_TRUE(Parse("<title>mofu!t</title>情報:" + std::string(300, 'n') + " ../ii:>1 ../ii:>2"));
  EXPECT_EQ(builder_->name, std::string(256, 'n'));
}

TEST_F(MakeCachePageTest, AdultWhenIframeOccursAnywhere) {
  PageFields fields;
  fields.adult = true;
  ASSERT_TRUE(ParseFields(fields));
  EXPECT_TRUE(builder_->adult);
}

TEST_F(MakeCachePageTest, CountIsReadOnlyWithinSixteenBytesOfTheColon) {
  ASSERT_TRUE(Parse("../ii x: <b> 12</b> ../ii:" + std::string(15, ' ') + ">9"));
  EXPECT_EQ(builder_->good, 12);
  EXPECT_EQ(builder_->bad, 0);  // its '>' lies 16 bytes after the colon
}

TEST_F(MakeCachePageTest, CountsKeepTheirSign) {
  ASSERT_TRUE(Parse("../ii:<b>-5</b>../ii:<b>+8</b>"));
  EXPECT_EQ(builder_->good, -5);
  EXPECT_EQ(builder_->bad, 8);
}

TEST_F(MakeCachePageTest, CountTooLargeForThirtyTwoBitsIsNotRead) {
  ASSERT_TRUE(Parse("../ii:>99999999999 ../ii:>2"));
  EXPECT_EQ(builder_->good, 0);
  EXPECT_EQ(builder_->bad, 2);
  // Either side of both ends of the range; a count not read keeps the 5 before it.
  const struct {
    const char* count;
    std::int32_t good;
  } cases[] = {{"2147483647", 2147483647}, {"2147483648", 5}, {"-2147483648", -2147483647 - 1},
               {"-2147483649", 5},         {"4294967303", 5}, {"18446744073709551623", 5}};
  for (const auto& c : cases) {
    ASSERT_TRUE(Parse("../ii:>5 ../ii:>5"));
    ASSERT_TRUE(Parse(std::string("../ii:>") + c.count + " ../ii:>2"));
    EXPECT_EQ(builder_->good, c.good) << c.count;
  }
}

TEST_F(MakeCachePageTest, MissingVoteMarkersFail) {
  EXPECT_FALSE(Parse("<title>mofu!title</title>"));
  EXPECT_EQ(builder_->title, "title");  // what was parsed before stays
  EXPECT_FALSE(Parse("../ii:>1 only one"));
  EXPECT_FALSE(Parse("../ii without a colon ../ii"));
}

TEST_F(MakeCachePageTest, MarkersAtTheVeryEndFailWithoutReadingPastIt) {
  EXPECT_FALSE(Parse("../ii:>1 ../ii:>2 <title>abc"));
  EXPECT_EQ(builder_->title, "");
  EXPECT_FALSE(Parse("../ii:>1 ../ii:>2 <img src"));
  EXPECT_EQ(builder_->imageUrl, "");
  EXPECT_TRUE(Parse("../ii:>1 ../ii:> <img src=\""));
  EXPECT_EQ(builder_->imageUrl, "");
}

TEST_F(MakeCachePageTest, LinesAreJoinedDroppingLineFeedsAndTheirCarriageReturns) {
  ASSERT_TRUE(builder_->ParsePage("<title>mofu!a\r\nb\nc\rd</title>\n../ii:>1 ../ii:>2"));
  EXPECT_EQ(builder_->title, "abc\rd");
  EXPECT_FALSE(builder_->ParsePage("\r\n\n"));
}

}  // namespace
