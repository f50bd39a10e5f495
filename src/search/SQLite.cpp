#include "search/SQLite.h"

#include <sqlite3.h>

#include <memory>
#include <vector>

SQLite::SQLite() = default;

SQLite::SQLite(const std::string& fileName) { (void)Open(fileName); }

SQLite::~SQLite() {
  // A never-opened connection is null, which sqlite3_close accepts.
  sqlite3_close(db_);
}

int SQLite::Open(const std::string& fileName) {
  if (db_ != nullptr) {
    sqlite3_close(db_);
    db_ = nullptr;
  }
  return sqlite3_open(fileName.c_str(), &db_);
}

int SQLite::OpenExisting(const std::string& fileName) {
  if (db_ != nullptr) {
    sqlite3_close(db_);
    db_ = nullptr;
  }
  const int code = sqlite3_open_v2(fileName.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr);
  if (code != SQLITE_OK && db_ != nullptr) lastError_ = sqlite3_errmsg(db_);
  return code;
}

void SQLite::KeepError(char* message) {
  if (message == nullptr) return;
  lastError_ = message;
  sqlite3_free(message);
}

int SQLite::Exec(const std::string& statement) {
  char* message = nullptr;
  const int code = sqlite3_exec(db_, statement.c_str(), nullptr, nullptr, &message);
  KeepError(message);
  return code;
}

int SQLite::GetTable(const std::string& statement, char*** table, int* rows, int* columns) {
  char* message = nullptr;
  const int code = sqlite3_get_table(db_, statement.c_str(), table, rows, columns, &message);
  KeepError(message);
  return code;
}

void SQLite::FreeTable(char** table) { sqlite3_free_table(table); }

int SQLite::Query(const std::string& statement, const RowVisitor& row) {
  sqlite3_stmt* raw = nullptr;
  int code = sqlite3_prepare_v2(db_, statement.c_str(), static_cast<int>(statement.size()) + 1, &raw,
                                nullptr);
  std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> query(raw, sqlite3_finalize);
  if (code != SQLITE_OK) {
    lastError_ = sqlite3_errmsg(db_);
    return code;
  }
  const int columns = sqlite3_column_count(raw);
  std::vector<const char*> values(static_cast<size_t>(columns));
  std::vector<int> lengths(static_cast<size_t>(columns));
  while ((code = sqlite3_step(raw)) == SQLITE_ROW) {
    for (int k = 0; k < columns; ++k) {
      values[static_cast<size_t>(k)] = reinterpret_cast<const char*>(sqlite3_column_text(raw, k));
      lengths[static_cast<size_t>(k)] = sqlite3_column_bytes(raw, k);
    }
    if (!row(columns, values.data(), lengths.data())) return SQLITE_OK;
  }
  if (code != SQLITE_DONE) {
    lastError_ = sqlite3_errmsg(db_);
    return code;
  }
  return SQLITE_OK;
}
