#include "hardening/CacheFiles.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>

namespace {

void Exec(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  const int code = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  EXPECT_EQ(SQLITE_OK, code) << (message != nullptr ? message : "") << " in " << sql.substr(0, 200);
  sqlite3_free(message);
}

std::string Columns() {
  std::string columns = "id, title, name, good, bad, adult";
  for (int i = 0; i <= 26; ++i) columns += ", c" + std::to_string(i);
  return columns + ", image_file_name";
}

}  // namespace

void WriteCacheDatabase(const std::string& path, int rows) {
  std::filesystem::remove(path);
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
  Exec(db, "create table TintwiseCache(" + Columns() + ");");
  Exec(db, "begin;");
  for (int r = 1; r <= rows; ++r) {
    std::string values = "'" + std::to_string(r) + "', 'title " + std::to_string(r) + "', 'poster " +
                         std::to_string(r) + "', 0, 0, 0";
    for (int i = 0; i <= 26; ++i) values += ", " + std::to_string((r * 7 + i) % 256);
    Exec(db, "insert into TintwiseCache values(" + values + ", 'img');");
  }
  Exec(db, "commit;");
  sqlite3_close(db);
}

void WriteSharedDefaultBomb(const std::string& path, int rows, int titleBytes) {
  std::filesystem::remove(path);
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
  Exec(db, "create table TintwiseCache(id);");
  Exec(db, "begin;");
  Exec(db, "with recursive n(i) as (select 1 union all select i + 1 from n where i < " + std::to_string(rows) +
               ") insert into TintwiseCache select i from n;");
  Exec(db, "commit;");
  Exec(db, "alter table TintwiseCache add column title default '" + std::string(static_cast<size_t>(titleBytes), 'x') +
               "';");
  std::string rest = Columns().substr(std::string("id, title, ").size());
  std::size_t start = 0;
  while (start < rest.size()) {
    std::size_t comma = rest.find(", ", start);
    if (comma == std::string::npos) comma = rest.size();
    Exec(db, "alter table TintwiseCache add column " + rest.substr(start, comma - start) + " default 1;");
    start = comma + 2;
  }
  sqlite3_close(db);
}

std::vector<std::string> FilesIn(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

int CheckedRowCount(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return -1;
  }
  std::string check;
  sqlite3_exec(
      db, "pragma quick_check;",
      [](void* out, int, char** values, char**) {
        *static_cast<std::string*>(out) += values[0] != nullptr ? values[0] : "";
        return 0;
      },
      &check, nullptr);
  int rows = -1;
  if (check == "ok") {
    sqlite3_exec(
        db, "select count(*) from TintwiseCache;",
        [](void* out, int, char** values, char**) {
          *static_cast<int*>(out) = std::stoi(values[0]);
          return 0;
        },
        &rows, nullptr);
  }
  sqlite3_close(db);
  return rows;
}
