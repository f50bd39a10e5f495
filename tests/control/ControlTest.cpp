#include "control/Control.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <limits>

#include "imaging/D3DDevice.h"
#include "imaging/DecodedImage.h"
#include "imaging/ImageCacheDirectX.h"
#include "imaging/ImageWriter.h"
#include "infra/TextEncoding.h"
#include "support/CacheFileWriter.h"
#include "search/CacheTable.h"
#include "search/SyntheticCache.h"
#include "support/ProgramDirectoryTest.h"
#include "support/RecordingView.h"

namespace {

std::string Sjis(const char8_t* utf8) { return SjisText(utf8).str(); }

class ControlTest : public ProgramDirectoryTest {
 protected:
  std::string CachePath() const { return PathOf("cache.db"); }

  // Removes "cache.db" from under the loaded table. Windows removes no file
  // that is open: there the database is let go first.
  void RemoveCache() {
    std::error_code held;
    if (!std::filesystem::remove(Utf8Path(CachePath()), held)) {
      control_.ReleaseDatabase();
      ASSERT_TRUE(std::filesystem::remove(Utf8Path(CachePath())));
    }
  }

  // Writes "cache.db" with one row per value v, every signature value v.
  void WriteUniformRows(const std::vector<int>& values) {
    CacheFileWriter writer(CachePath());
    for (const int v : values) writer.Add(Uniform(v));
  }

  void WriteSynthetic(size_t rows) {
    SyntheticCacheOptions options;
    options.rows = rows;
    std::string error;
    ASSERT_TRUE(WriteSyntheticCache(CachePath(), options, &error)) << error;
  }

  void Load() {
    control_.LoadCache();
    view_.Forget();
  }

  // A search with a black picture: the query is all zeros.
  void SearchBlack() {
    WriteUniformPicture(PathOf("black.png"), 0);
    control_.SetPath(PathOf("black.png"));
    ASSERT_TRUE(control_.Search());
  }

  std::vector<std::string> RowTexts(size_t column) const {
    std::vector<std::string> texts;
    for (const auto& row : view_.Rows()) texts.push_back(row.at(column));
    return texts;
  }

  RecordingView view_;
  Control control_{view_};
};

// A missing cache is no failure to read one: it is said so, with the file's
// full name in the log, and no empty file is left in its place (which would
// fail every later start with "no such table"), at the first start or later.
TEST_F(ControlTest, MissingCacheIsNotCreatedAndIsToldApart) {
  for (int start = 0; start < 2; ++start) {
    view_.Forget();
    control_.LoadCache();
    EXPECT_FALSE(FileExists(CachePath()));
    EXPECT_TRUE(control_.CacheMissing());
    EXPECT_EQ((std::vector<std::string>{Sjis(u8"キャッシュ読み込み中"), Sjis(u8"キャッシュがありません"),
                                        "0" + Sjis(u8"作品より検索")}),
              view_.StatusTexts());
    EXPECT_EQ((std::vector<bool>{false, true}), view_.EnableCalls());
  }
  EXPECT_EQ(LogMessages(),
            std::vector<std::string>(2, Sjis(u8"Control::OpenDatabase() : キャッシュがありません: ") + PathForLog(CachePath())));
}

TEST_F(ControlTest, FileThatIsNotADatabaseFailsWithLibraryMessage) {
  WriteWholeFile(CachePath(), std::string(4096, 'x'));
  EXPECT_FALSE(control_.OpenDatabase());
  EXPECT_EQ(nullptr, control_.Table());
  EXPECT_EQ("file is not a database", LogMessages().at(1));
  EXPECT_FALSE(control_.CacheMissing());
}

TEST_F(ControlTest, EmptyTableLoadsAsZeroRows) {
  WriteUniformRows({});
  control_.LoadCache();
  EXPECT_EQ("0" + Sjis(u8"作品より検索"), view_.LastStatus());
  EXPECT_EQ(2u, view_.StatusTexts().size());
  EXPECT_TRUE(LogText().empty());
}

TEST_F(ControlTest, RowCountPrecedesTheSearchTextWithoutSpace) {
  WriteSynthetic(12345);
  control_.LoadCache();
  EXPECT_EQ("12345" + Sjis(u8"作品より検索"), view_.LastStatus());
}

TEST_F(ControlTest, SecondLoadReplacesTheFirstTable) {
  WriteUniformRows({1, 2, 3});
  ASSERT_TRUE(control_.OpenDatabase());
  RemoveCache();
  WriteUniformRows({5, 6, 7, 8});
  ASSERT_TRUE(control_.OpenDatabase());
  EXPECT_EQ(4, control_.RowCount());
  EXPECT_EQ(Uniform(8), control_.Table()->Signature(3));
}

TEST_F(ControlTest, FailedSecondLoadLeavesNoTable) {
  WriteUniformRows({1, 2, 3});
  ASSERT_TRUE(control_.OpenDatabase());
  WriteWholeFile(CachePath(), std::string(4096, 'x'));
  EXPECT_FALSE(control_.OpenDatabase());
  EXPECT_EQ(0, control_.RowCount());
  SearchBlack();
  EXPECT_TRUE(view_.Rows().empty());
  EXPECT_EQ(Sjis(u8"検索終了"), view_.LastStatus());
}

TEST_F(ControlTest, ColumnsAreTakenByPositionNotName) {
  {
    SQLite db(CachePath());
    std::string create = "create table TintwiseCache(a, b, c, d, e, f";
    std::string insert = "insert into TintwiseCache values(77, 'T', 'N', 0, 0, 0";
    for (int i = 0; i < 27; ++i) {
      create += ", v" + std::to_string(i);
      insert += ", " + std::to_string(i);
    }
    ASSERT_EQ(0, db.Exec(create + ", g);" + insert + ", 'f');")) << db.LastError();
  }
  ASSERT_TRUE(control_.OpenDatabase());
  EXPECT_EQ("77", control_.Table()->Id(0));
  EXPECT_EQ("N", control_.Table()->Name(0));
  EXPECT_EQ(26, control_.Table()->Signature(0)[26]);
}

TEST_F(ControlTest, TableWithTooFewColumnsReadsMissingValuesAsZero) {
  {
    SQLite db(CachePath());
    ASSERT_EQ(0, db.Exec("create table TintwiseCache(id, title, name, good, bad, adult, c0, c1);"
                         "insert into TintwiseCache values(5, 'T', 'N', 0, 0, 0, 9, 8);"));
  }
  ASSERT_TRUE(control_.OpenDatabase());
  ImageCache::Colours expected{};
  expected[0] = 9;
  expected[1] = 8;
  EXPECT_EQ(expected, control_.Table()->Signature(0));
}

TEST_F(ControlTest, StoredValuesConvertAsDecimalText) {
  {
    CacheFileWriter writer(CachePath());
    std::vector<std::string> values(27, "1");
    values[0] = "'abc'";
    values[1] = "null";
    values[2] = "' 12px'";
    values[3] = "-7";
    values[4] = "3.75";
    values[5] = "99999999999";
    writer.AddValues(RowValues("1", values));
  }
  ASSERT_TRUE(control_.OpenDatabase());
  const ImageCache::Colours s = control_.Table()->Signature(0);
  EXPECT_EQ((std::vector<int>{0, 0, 12, -7, 3, 2147483647, 1}), std::vector<int>(s.begin(), s.begin() + 7));
}

TEST_F(ControlTest, SearchDisablesClearsExtractsThenEnables) {
  WriteUniformRows({3});
  Load();
  SearchBlack();
  const auto calls = view_.Calls();
  using Kind = RecordingView::Call::Kind;
  ASSERT_EQ(6u, calls.size());
  EXPECT_TRUE(calls[0].kind == Kind::kEnable && !calls[0].enable);
  EXPECT_EQ(Kind::kClear, calls[1].kind);
  EXPECT_EQ(Sjis(u8"画像の特徴の抽出中"), calls[2].text);
  EXPECT_EQ(Kind::kRow, calls[3].kind);
  EXPECT_EQ(Sjis(u8"検索終了"), calls[4].text);
  EXPECT_TRUE(calls[5].kind == Kind::kEnable && calls[5].enable);
}

TEST_F(ControlTest, BlackPictureListsDarkestRowsWithFourDigitDifferences) {
  {
    CacheFileWriter writer(CachePath());
    writer.Add("10", Sjis(u8"明るい"), Sjis(u8"もふ"), Uniform(200));
    writer.Add("11", Sjis(u8"黒"), Sjis(u8"くろ"), Uniform(0));
    writer.Add("12", "grey", "it's", Uniform(4));
  }
  Load();
  SearchBlack();
  const std::vector<std::vector<std::string>> expected = {
      {Sjis(u8"黒"), Sjis(u8"くろ"), "11", "0000"},
      {"grey", "it's", "12", "0108"},
      {Sjis(u8"明るい"), Sjis(u8"もふ"), "10", "5400"},
  };
  EXPECT_EQ(expected, view_.Rows());
}

TEST_F(ControlTest, ImageFileFindsItsOwnRowAtDifferenceZero) {
  DecodedImage picture;
  picture.Allocate(40, 30, false);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      std::uint8_t* p = picture.Row8(y) + x * 4;
      p[0] = static_cast<std::uint8_t>(x * 6);
      p[1] = static_cast<std::uint8_t>(y * 8);
      p[2] = static_cast<std::uint8_t>(200 - x - y);
      p[3] = 255;
    }
  }
  std::string png;
  ASSERT_TRUE(ImageWriter::EncodePng(picture, &png));
  ASSERT_TRUE(WriteBytesToFile(PathOf("picture.png"), png));
  // The window starts the graphics device before anything is searched.
  D3DDevice::Initialize();
  struct Shutdown {
    ~Shutdown() { D3DDevice::Shutdown(); }
  } shutdown;
  ImageCacheDirectX signature;
  ASSERT_TRUE(signature.LoadImage(PathOf("picture.png")));
  {
    CacheFileWriter writer(CachePath());
    for (int v = 0; v < 30; ++v) writer.Add(Uniform(v * 8));
    writer.Add("424242", "self", "me", signature.colours);
  }
  Load();
  control_.SetPath(PathOf("picture.png"));
  control_.Search();
  ASSERT_EQ(20u, view_.Rows().size());
  EXPECT_EQ((std::vector<std::string>{"self", "me", "424242", "0000"}), view_.Rows()[0]);
}

// A query that cannot be read lists nothing, says why and gives the controls back.
TEST_F(ControlTest, UnreadablePictureListsNothingAndSaysWhy) {
  const std::string unreadable = Sjis(u8"画像を読み込めませんでした") + "\n";
  std::string gifHeader = "GIF89a";
  gifHeader += std::string("\xff\xff\xff\xff\x00\x00\x00", 7);                       // 65535 x 65535 screen
  gifHeader += std::string(",\x00\x00\x00\x00\xff\xff\xff\xff\x00\x02\x02\x4c\x01\x00;", 16);  // one frame as large
  const struct {
    const char* name;
    std::string bytes;  // empty: no file
    const char8_t* reason;
  } cases[] = {
      {"missing.png", "", u8"ファイルを開けません"},
      {"note.txt", "not an image", u8"対応していない形式です"},
      {"photo.tif", std::string("II*\0\x08\0\0\0", 8), u8"対応していない形式です"},
      {"photo.heic", std::string("\0\0\0\x18" "ftypheic\0\0\0\0", 16), u8"対応していない形式です"},
      {"cut.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16), u8"ファイルが壊れています"},
      {"huge.gif", gifHeader, u8"画像が大きすぎます（2億5千万画素まで）"},
  };
  WriteUniformRows({0, 1, 2});
  Load();
  for (const auto& c : cases) {
    if (!c.bytes.empty()) WriteWholeFile(PathOf(c.name), c.bytes);
    control_.SetPath(PathOf(c.name));
    view_.Forget();
    EXPECT_FALSE(control_.Search()) << c.name;
    EXPECT_TRUE(view_.Rows().empty()) << c.name;
    EXPECT_EQ(view_.LastStatus(), unreadable + Sjis(c.reason)) << c.name;
    EXPECT_EQ(view_.EnableCalls(), (std::vector<bool>{false, true})) << c.name;
  }
  // A readable picture afterwards lists again.
  SearchBlack();
  EXPECT_EQ(3u, view_.Rows().size());
}

TEST_F(ControlTest, TwentyOfTwentyFiveEqualRowsInTableOrder) {
  WriteUniformRows(std::vector<int>(25, 1));
  Load();
  SearchBlack();
  std::vector<std::string> ids;
  for (int i = 1; i <= 20; ++i) ids.push_back(std::to_string(i));
  EXPECT_EQ(ids, RowTexts(2));
  EXPECT_EQ(std::vector<std::string>(20, "0027"), RowTexts(3));
}

TEST_F(ControlTest, ProgressIsShownEveryThousandRows) {
  WriteUniformRows(std::vector<int>(2500, 9));
  Load();
  SearchBlack();
  const std::vector<std::string> expected = {Sjis(u8"画像の特徴の抽出中"), Sjis(u8"検索中") + "\n1000/2500",
                                             Sjis(u8"検索中") + "\n2000/2500", Sjis(u8"検索終了")};
  EXPECT_EQ(expected, view_.StatusTexts());
}

TEST_F(ControlTest, NoProgressBelowAThousandRows) {
  WriteUniformRows(std::vector<int>(999, 9));
  Load();
  SearchBlack();
  EXPECT_EQ(2u, view_.StatusTexts().size());
}

TEST_F(ControlTest, SearchClearsThePreviousResult) {
  WriteUniformRows({1, 2});
  Load();
  SearchBlack();
  SearchBlack();
  EXPECT_EQ(2u, view_.Rows().size());
  RemoveCache();
  WriteUniformRows({});
  ASSERT_TRUE(control_.OpenDatabase());
  SearchBlack();
  EXPECT_TRUE(view_.Rows().empty());
}

TEST_F(ControlTest, ReleaseDatabaseDropsTheTable) {
  WriteUniformRows({1});
  ASSERT_TRUE(control_.OpenDatabase());
  control_.ReleaseDatabase();
  EXPECT_EQ(nullptr, control_.Table());
  EXPECT_EQ(0, control_.RowCount());
}

// Stored values far outside 0..255 give differences past 32 bits: they show
// as the largest 32-bit number, still in the order of the true differences.
TEST_F(ControlTest, HugeDifferencesShowAsTheLargest32BitNumber) {
  constexpr int kMax = std::numeric_limits<std::int32_t>::max();
  const struct {
    const char* id;
    int value;  // every signature value; the black query's are 0
  } rows[] = {{"1", kMax}, {"2", 79536431}, {"3", 79536432}, {"4", -kMax - 1}, {"5", -1}};
  {
    CacheFileWriter writer(CachePath());
    for (const auto& row : rows) writer.Add(row.id, "t", "n", Uniform(row.value));
  }
  DecodedImage black;
  black.Allocate(12, 9, false);  // all samples 0
  std::string png;
  ASSERT_TRUE(ImageWriter::EncodePng(black, &png));
  ASSERT_TRUE(WriteBytesToFile(PathOf("black.png"), png));
  D3DDevice::Initialize();
  Load();
  control_.SetPath(PathOf("black.png"));
  control_.Search();
  D3DDevice::Shutdown();
  // 27, 27 * 79536431, then 27 * 79536432, 27 * (2^31 - 1) and 27 * 2^31,
  // which a cast to 32 bits would show as -2147483632, 2147483621 and -2147483648.
  EXPECT_EQ((std::vector<std::string>{"5", "2", "3", "1", "4"}), RowTexts(2));
  EXPECT_EQ((std::vector<std::string>{"0027", "2147483637", "2147483647", "2147483647", "2147483647"}),
            RowTexts(3));
}

}  // namespace
