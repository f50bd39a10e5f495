#pragma once

#include <functional>
#include <string>

struct sqlite3;

// One connection to an SQLite database, with the library's last error message
// kept for the caller's log line. Not copyable; one thread at a time.
class SQLite {
 public:
  // Opens nothing.
  SQLite();
  // Opens `fileName` at once; a failure shows in the first statement's code.
  explicit SQLite(const std::string& fileName);
  virtual ~SQLite();
  SQLite(const SQLite&) = delete;
  SQLite& operator=(const SQLite&) = delete;

  // Opens (creating when missing) the database file; returns the library's
  // result code, 0 on success. Leaves lastError as it was.
  int Open(const std::string& fileName);
  // Opens an existing database file and never creates one: a missing file
  // fails (SQLITE_CANTOPEN, with the library's message in lastError). A file
  // the process may not write is opened for reading; read-write otherwise, so
  // that a journal left by an interrupted writer is still rolled back.
  int OpenExisting(const std::string& fileName);

  // Runs one or more statements; returns the library's result code. An error
  // message from the library replaces lastError.
  int Exec(const std::string& statement);

  // The whole result of a query as the library's text table: (rows + 1) x
  // columns values, the column names first. Give it back with FreeTable.
  int GetTable(const std::string& statement, char*** table, int* rows, int* columns);
  void FreeTable(char** table);

  // Streams a query's rows: `row` is called with the column values of each row
  // (nullptr for NULL) and their byte lengths; returning false stops the walk.
  // Returns the library's result code (0 when all rows were read or the walk
  // was stopped); an error message replaces lastError.
  using RowVisitor = std::function<bool(int columns, const char* const* values, const int* lengths)>;
  int Query(const std::string& statement, const RowVisitor& row);

  const std::string& LastError() const { return lastError_; }
  sqlite3* Handle() const { return db_; }

 private:
  void KeepError(char* message);

  sqlite3* db_ = nullptr;
  std::string lastError_;
};
