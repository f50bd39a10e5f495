#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/HotJournal.h"
#include "support/SitePages.h"
#include "cachebuild/ToSqlite.h"
#include "infra/SettingFile.h"
#include "control/Control.h"
#include "search/SQLite.h"
#include "support/ProgramDirectoryTest.h"
#include "support/RecordingView.h"

namespace {

using Row = std::vector<std::string>;

// "first,first+1,...," with 27 values, as the run writes a signature.
std::string Signature(int first) {
  std::string text;
  for (int i = 0; i < 27; ++i) text += std::to_string(first + i) + ",";
  return text;
}

class ToSqliteTest : public ProgramDirectoryTest {
 protected:
  void AddRecord(const std::string& id, const std::string& cache, const std::string& title = "t") {
    records_.Set(id, "TITLE", title);
    records_.Set(id, "NAME", "n");
    records_.Set(id, "CACHE", cache);
    records_.SetInt(id, "GOOD", 3);
    records_.SetInt(id, "BAD", 0);
    records_.SetInt(id, "ADULT", 1);
  }
  bool Export() {
    records_.UpdateSections();
    ToSqlite exporter(records_);
    return exporter.Export();
  }
  // The table's rows in insertion order, every column as text.
  std::vector<Row> Rows(const std::string& query = "select * from TintwiseCache order by rowid;") {
    SQLite db;
    EXPECT_EQ(db.Open("cache.db"), 0);
    std::vector<Row> rows;
    db.Query(query, [&](int columns, const char* const* values, const int* lengths) {
      Row row;
      for (int i = 0; i < columns; ++i) row.emplace_back(values[i] ? std::string(values[i], lengths[i]) : "NULL");
      rows.push_back(row);
      return true;
    });
    return rows;
  }
  std::vector<std::string> Column(int index) {
    std::vector<std::string> values;
    for (const Row& row : Rows()) values.push_back(row.at(index));
    return values;
  }
  bool TemporaryFilesLeft() {
    for (const auto& entry : std::filesystem::directory_iterator(Dir()))
      if (entry.path().filename().string().starts_with("cache.db.")) return true;
    return false;
  }

  SettingFile records_;
};

TEST_F(ToSqliteTest, RowsFollowTheByteWiseOrderOfTheIds) {
  AddRecord("9", Signature(9));
  AddRecord("10", Signature(10));
  AddRecord("2", Signature(2));
  ASSERT_TRUE(Export());
  EXPECT_EQ(Column(0), (std::vector<std::string>{"10", "2", "9"}));
}

TEST_F(ToSqliteTest, EveryColumnIsWritten) {
  AddRecord("5", Signature(100));
  records_.Set("5", "IMAGE_FILE_NAME", "photo.large.jpg");
  records_.Set("5", "IMAGE_URL", "http://not/exported.jpg");
  ASSERT_TRUE(Export());
  const std::vector<Row> rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  Row expected = {"5", "t", "n", "3", "0", "1"};
  for (int i = 0; i < 27; ++i) expected.push_back(std::to_string(100 + i));
  expected.push_back("photo");
  EXPECT_EQ(rows[0], expected);
}

TEST_F(ToSqliteTest, SingleQuotesAndBackslashBytesAreStoredAsWritten) {
  AddRecord("1", Signature(1), "it's 'here'");
  records_.Set("1", "NAME", "O'Hara");
  // Both characters of "ソ表" end in 0x5C, a backslash's byte; then a real backslash.
  const std::string backslashes = "\x83\x5C\x95\x5C\\n";
  AddRecord("2", Signature(2), backslashes);
  ASSERT_TRUE(Export());
  EXPECT_EQ(Column(1), (std::vector<std::string>{"it's 'here'", backslashes}));
  EXPECT_EQ(Column(2)[0], "O'Hara");
}

TEST_F(ToSqliteTest, MalformedRecordsAreSkippedAndTheRestExported) {
  AddRecord("1", Signature(1));
  AddRecord("x2", Signature(2));
  AddRecord("99999999999", Signature(3));
  AddRecord("4", "1,a," + Signature(4).substr(4));
  AddRecord("5", Signature(5).substr(3));  // 26 values
  AddRecord("6", Signature(6) + "7");      // 28 values
  AddRecord("7", Signature(-7));
  AddRecord("8", "");
  ASSERT_TRUE(Export());
  EXPECT_EQ(Column(0), (std::vector<std::string>{"1", "7"}));
  EXPECT_EQ(Rows()[1][6], "-7");
}

TEST_F(ToSqliteTest, NoRecordsGiveAnEmptyTableWithAllColumns) {
  ASSERT_TRUE(Export());
  EXPECT_TRUE(Rows().empty());
  SQLite db;
  ASSERT_EQ(db.Open("cache.db"), 0);
  std::vector<std::string> names;
  db.Query("select name from pragma_table_info('TintwiseCache');",
           [&](int, const char* const* values, const int*) {
             names.push_back(values[0]);
             return true;
           });
  ASSERT_EQ(names.size(), 34u);
  EXPECT_EQ(names[6], "c0");
  EXPECT_EQ(names[33], "image_file_name");
}

// Even with the journal of a writer killed on the previous database beside
// it: that journal is not the new file's and must not be played into it.
TEST_F(ToSqliteTest, EachExportStartsFromAnEmptyDatabase) {
  AddRecord("1", Signature(1));
  AddRecord("2", Signature(2));
  ASSERT_TRUE(Export());
  const std::string journal = HotJournalOf(PathOf("cache.db"));
  ASSERT_FALSE(journal.empty());
  WriteWholeFile(PathOf("cache.db-journal"), journal);
  records_ = SettingFile();
  AddRecord("3", Signature(3));
  ASSERT_TRUE(Export());
  EXPECT_FALSE(std::filesystem::exists(PathOf("cache.db-journal")));
  EXPECT_EQ(Column(0), (std::vector<std::string>{"3"}));
  EXPECT_FALSE(TemporaryFilesLeft());
}

TEST_F(ToSqliteTest, FailedExportKeepsThePreviousDatabase) {
  if (!FileSizeLimit::Supported()) GTEST_SKIP() << "a full disk is simulated by a per-process file size limit";
  AddRecord("1", Signature(1));
  ASSERT_TRUE(Export());
  const std::string before = ReadWholeFile(PathOf("cache.db"));
  for (int id = 2; id < 400; ++id) AddRecord(std::to_string(id), Signature(id), std::string(100, 'x'));
  {
    FileSizeLimit full(20000);
    EXPECT_FALSE(Export());
  }
  EXPECT_EQ(ReadWholeFile(PathOf("cache.db")), before);
  EXPECT_FALSE(TemporaryFilesLeft());
}

TEST_F(ToSqliteTest, ExportedDatabaseIsLoadedForTheSearch) {
  AddRecord("1", Signature(1));
  AddRecord("2", Signature(2));
  ASSERT_TRUE(Export());
  RecordingView view;
  Control control(view);
  ASSERT_TRUE(control.OpenDatabase());
  EXPECT_EQ(control.RowCount(), 2);
}

}  // namespace
