#include <sqlite3.h>

#include <gtest/gtest.h>

#include "search/SQLite.h"
#include "support/ProgramDirectoryTest.h"

namespace {

class SQLiteTest : public ProgramDirectoryTest {};

TEST_F(SQLiteTest, OpeningAMissingFileCreatesAnEmptyDatabase) {
  SQLite db;
  EXPECT_EQ(db.Open("cache.db"), SQLITE_OK);
  EXPECT_TRUE(FileExists(PathOf("cache.db")));
  EXPECT_EQ(db.LastError(), "");
}

TEST_F(SQLiteTest, OpeningConstructorOpensTheFile) {
  SQLite db("cache.db");
  EXPECT_EQ(db.Exec("create table t(a);"), SQLITE_OK);
  EXPECT_TRUE(FileExists(PathOf("cache.db")));
}

TEST_F(SQLiteTest, GetTableGivesHeaderThenRowsAsText) {
  SQLite db("cache.db");
  ASSERT_EQ(db.Exec("create table t(id, title); insert into t values(12, 'a'); "
                    "insert into t values(3, NULL);"),
            SQLITE_OK);
  char** table = nullptr;
  int rows = 0, columns = 0;
  ASSERT_EQ(db.GetTable("select * from t;", &table, &rows, &columns), SQLITE_OK);
  ASSERT_EQ(rows, 2);
  ASSERT_EQ(columns, 2);
  EXPECT_STREQ(table[0], "id");
  EXPECT_STREQ(table[2], "12");
  EXPECT_STREQ(table[3], "a");
  EXPECT_EQ(table[5], nullptr);
  db.FreeTable(table);
}

TEST_F(SQLiteTest, LastErrorKeepsTheMessageUntilTheNextError) {
  SQLite db("cache.db");
  EXPECT_NE(db.Exec("select * from missing;"), SQLITE_OK);
  const std::string first = db.LastError();
  EXPECT_NE(first.find("missing"), std::string::npos);
  EXPECT_EQ(db.Exec("create table t(a);"), SQLITE_OK);
  EXPECT_EQ(db.LastError(), first);
  char** table = nullptr;
  int rows = 0, columns = 0;
  EXPECT_NE(db.GetTable("select nope from t;", &table, &rows, &columns), SQLITE_OK);
  EXPECT_NE(db.LastError(), first);
  db.FreeTable(table);
}

TEST_F(SQLiteTest, QueryStreamsRowsAndCanStopEarly) {
  SQLite db("cache.db");
  ASSERT_EQ(db.Exec("create table t(a, b); insert into t values(1, 'x'); "
                    "insert into t values(2, NULL); insert into t values(3, 'zz');"),
            SQLITE_OK);
  std::vector<std::string> seen;
  EXPECT_EQ(db.Query("select * from t;",
                     [&](int columns, const char* const* values, const int* lengths) {
                       EXPECT_EQ(columns, 2);
                       seen.push_back(std::string(values[0], static_cast<size_t>(lengths[0])) + ":" +
                                      (values[1] ? values[1] : "null"));
                       return seen.size() < 2;
                     }),
            SQLITE_OK);
  EXPECT_EQ(seen, (std::vector<std::string>{"1:x", "2:null"}));
}

TEST_F(SQLiteTest, QueryOnAFileThatIsNotADatabaseFails) {
  WriteWholeFile(PathOf("cache.db"), std::string(4096, 'x'));
  SQLite db("cache.db");
  EXPECT_NE(db.Query("select * from t;", [](int, const char* const*, const int*) { return true; }),
            SQLITE_OK);
  EXPECT_FALSE(db.LastError().empty());
}

}  // namespace
