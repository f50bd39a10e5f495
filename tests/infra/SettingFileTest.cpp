#include <gtest/gtest.h>

#include <filesystem>

#include "infra/Platform.h"
#include "infra/SettingFile.h"
#include "support/ProgramDirectoryTest.h"

namespace {

class SettingFileTest : public ProgramDirectoryTest {
 protected:
  // Loads `content` written as "in.ini" into table_.
  bool LoadText(const std::string& content) {
    WriteWholeFile(PathOf("in.ini"), content);
    return table_.Load("in.ini");
  }
  std::string SavedText() {
    EXPECT_TRUE(table_.Save());
    return ReadWholeFile(PathOf("cache.ini"));
  }

  SettingFile table_;
};

TEST_F(SettingFileTest, KeysBeforeAnySectionBelongToTheEmptySection) {
  ASSERT_TRUE(LoadText("START=5\nEND=9\n[1]\nSTART=7\n"));
  EXPECT_EQ(table_.GetInt("", "START"), 5);
  EXPECT_EQ(table_.GetInt("", "END"), 9);
  EXPECT_EQ(table_.GetInt("1", "START"), 7);
}

TEST_F(SettingFileTest, NamesAndValuesAreKeptExactlyAsWritten) {
  ASSERT_TRUE(LoadText("[s]\nKEY = value = more\r\nTitle=it's ok\n"));
  EXPECT_EQ(table_.Get("s", "KEY "), " value = more");
  EXPECT_EQ(table_.Get("s", "KEY"), "");
  EXPECT_EQ(table_.Get("s", "Title"), "it's ok");
}

TEST_F(SettingFileTest, CommentsEmptyLinesAndLinesWithoutEqualsAreSkipped) {
  ASSERT_TRUE(LoadText("// comment=1\n\n/notcomment=2\n; semicolon\nplain\n"));
  EXPECT_EQ(table_.Get("", "// comment"), "");
  EXPECT_EQ(table_.Get("", "/notcomment"), "2");
  table_.UpdateSections();
  EXPECT_EQ(table_.Sections(), std::vector<std::string>{""});
}

TEST_F(SettingFileTest, SectionNameDropsTheLastByte) {
  ASSERT_TRUE(LoadText("[abc\nk=1\n[]\nm=2\n[\nn=3\n"));
  EXPECT_EQ(table_.Get("ab", "k"), "1");
  EXPECT_EQ(table_.Get("", "m"), "2");
  EXPECT_EQ(table_.Get("", "n"), "3");
}

TEST_F(SettingFileTest, LastLineWithoutLineFeedIsReadWhole) {
  ASSERT_TRUE(LoadText("[s]\nk=tail"));
  EXPECT_EQ(table_.Get("s", "k"), "tail");
}

TEST_F(SettingFileTest, ZeroBytesAreKeptAsData) {
  ASSERT_TRUE(LoadText(std::string("[s]\nk=a\0b\nnext=1\n", 18)));
  EXPECT_EQ(table_.Get("s", "k"), std::string("a\0b", 3));
  EXPECT_EQ(table_.Get("s", "next"), "1");
}

TEST_F(SettingFileTest, RepeatedSectionsMergeAndLaterValuesWin) {
  ASSERT_TRUE(LoadText("[s]\na=1\nb=1\n[t]\nx=1\n[s]\nb=2\n"));
  EXPECT_EQ(table_.Get("s", "a"), "1");
  EXPECT_EQ(table_.Get("s", "b"), "2");
  EXPECT_EQ(table_.Sections(), (std::vector<std::string>{"s", "t"}));
}

TEST_F(SettingFileTest, LoadingTwiceGivesTheSameTable) {
  ASSERT_TRUE(LoadText("[2]\nk=v\n[1]\nTITLE=x\n"));
  const std::string once = SavedText();
  ASSERT_TRUE(table_.Load("in.ini"));
  EXPECT_EQ(SavedText(), once);
}

TEST_F(SettingFileTest, GetIntAcceptsOnlyDigits) {
  table_.Set("", "neg", "-3");
  table_.Set("", "zeros", "007");
  table_.Set("", "empty", "");
  table_.Set("", "plus", "+4");
  table_.Set("", "blank", " 4");
  EXPECT_EQ(table_.GetInt("", "neg"), -1);
  EXPECT_EQ(table_.GetInt("", "zeros"), 7);
  EXPECT_EQ(table_.GetInt("", "empty"), 0);
  EXPECT_EQ(table_.GetInt("", "missing"), 0);
  EXPECT_EQ(table_.GetInt("", "plus"), -1);
  EXPECT_EQ(table_.GetInt("", "blank"), -1);
  // 64 bits wide: past 32 bits nothing wraps; past 64 bits it wraps as the platform's conversion did.
  const struct {
    const char* text;
    std::int64_t value;
  } wide[] = {{"2147483648", 2147483648LL},
              {"4294967297", 4294967297LL},
              {"9223372036854775807", 9223372036854775807LL},
              {"18446744073709551617", 1}};
  for (const auto& c : wide) {
    table_.Set("", "wide", c.text);
    EXPECT_EQ(table_.GetInt("", "wide"), c.value) << c.text;
  }
}

TEST_F(SettingFileTest, SetIntWritesPlainDecimal) {
  table_.SetInt("1", "GOOD", -12);
  table_.SetInt("1", "BAD", 0);
  table_.SetInt("1", "MAX", 2147483647);
  EXPECT_EQ(table_.Get("1", "GOOD"), "-12");
  EXPECT_EQ(table_.Get("1", "BAD"), "0");
  EXPECT_EQ(table_.Get("1", "MAX"), "2147483647");
}

TEST_F(SettingFileTest, GetNeverAddsEntries) {
  (void)table_.Get("ghost", "key");
  table_.UpdateSections();
  EXPECT_TRUE(table_.Sections().empty());
  EXPECT_EQ(SavedText(), "");
}

TEST_F(SettingFileTest, SavesSectionsAndKeysInByteOrderWithCrLf) {
  table_.Set("9", "TITLE", "nine");
  table_.Set("100", "NAME", "n");
  table_.Set("100", "CACHE", "1,2,");
  table_.Set("10", "TITLE", "ten");
  EXPECT_EQ(SavedText(),
            "[10]\r\nTITLE=ten\r\n[100]\r\nCACHE=1,2,\r\nNAME=n\r\n[9]\r\nTITLE=nine\r\n");
}

TEST_F(SettingFileTest, SavedFileReadsBackTheSameContent) {
  table_.Set("", "START", "1");
  table_.Set("5", "TITLE", "\x83\x5C\x83\x74\x83\x67 'quoted' = x");
  table_.Set("5", "EMPTY", "");
  const std::string saved = SavedText();
  SettingFile reloaded;
  ASSERT_TRUE(reloaded.Load("cache.ini"));
  EXPECT_EQ(reloaded.Get("5", "TITLE"), table_.Get("5", "TITLE"));
  EXPECT_EQ(reloaded.Get("", "START"), "1");
  ASSERT_TRUE(reloaded.Save());
  EXPECT_EQ(ReadWholeFile(PathOf("cache.ini")), saved);
}

TEST_F(SettingFileTest, MissingFileFailsAndChangesNothing) {
  table_.Set("s", "k", "v");
  EXPECT_FALSE(table_.Load("absent.ini"));
  EXPECT_EQ(table_.Get("s", "k"), "v");
}

TEST_F(SettingFileTest, OverlongLineFailsAndChangesNothing) {
  table_.Set("s", "k", "v");
  const std::string longLine = "k=" + std::string(70000, 'x') + "\n";
  EXPECT_FALSE(LoadText("[s]\nother=1\n" + longLine));
  EXPECT_EQ(table_.Get("s", "other"), "");
  EXPECT_EQ(table_.Get("s", "k"), "v");
  // The longest accepted line still loads.
  const std::string limit = "k=" + std::string(SettingFile::kMaxLineBytes - 3, 'y') + "\n";
  EXPECT_TRUE(LoadText("[s]\n" + limit));
  EXPECT_EQ(table_.Get("s", "k").size(), SettingFile::kMaxLineBytes - 3);
}

TEST_F(SettingFileTest, FailedSaveKeepsThePreviousFile) {
  WriteWholeFile(PathOf("cache.ini"), "[1]\r\nCACHE=old\r\n");
  table_.Set("1", "CACHE", "new");
  // A directory that refuses new files makes the save fail before any rename.
  // Where permissions do not bind (root; Windows, where the bits are only a
  // read-only attribute) a missing directory stands in.
  namespace fs = std::filesystem;
  fs::permissions(Dir(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  if (!platform::MayWriteIn(Dir())) {
    EXPECT_FALSE(table_.Save());
  } else {
    EXPECT_FALSE(table_.SaveAs(PathOf("missing-dir/cache.ini")));
  }
  fs::permissions(Dir(), fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(ReadWholeFile(PathOf("cache.ini")), "[1]\r\nCACHE=old\r\n");
}

TEST_F(SettingFileTest, SaveLeavesNoTemporaryFilesBehind) {
  table_.Set("1", "k", "v");
  ASSERT_TRUE(table_.Save());
  ASSERT_TRUE(table_.Save());
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(Dir())) {
    const std::string name = entry.path().filename().string();
    if (name != "log.txt") {
      EXPECT_EQ(name, "cache.ini");
      ++entries;
    }
  }
  EXPECT_EQ(entries, 1);
}

}  // namespace
