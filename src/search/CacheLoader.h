#pragma once

#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;
class CacheTable;

// Reads the cache table of an open database into a CacheTable in one pass,
// yielding the rows of "select * from <table>;" in the order the database
// returns them and taking columns by position (0 id, 1 title, 2 name, 6 to 32
// the signature values; the rest are not kept). Signature values are
// converted once here: stored integers directly, anything else by
// ParseSignatureValue; a NULL, or a column the table does not have, is 0 (a
// missing text column is empty text).
//
// When the columns it needs have distinct names, the rows are handed to the
// loader by an aggregate function inside one statement, which saves the
// per-column calls of stepping through the result; otherwise it steps.
// One thread at a time; `db` must stay open while Load runs.
class CacheLoader {
 public:
  explicit CacheLoader(sqlite3* db) : db_(db) {}

  // Appends the table's rows to `table` (normally empty). Returns the library's
  // result code, 0 on success; on failure LastError() holds the library's
  // message ("out of memory" when the rows do not fit) and `table` holds an
  // unspecified part of the rows, to be thrown away.
  int Load(const std::string& tableName, CacheTable& table);

  const std::string& LastError() const { return lastError_; }

 private:
  // -1 when the statement could not be set up (nothing read yet).
  int LoadThroughAggregate(const std::string& tableName, const std::vector<std::string>& columnNames,
                           CacheTable& table);
  int LoadByStepping(sqlite3_stmt* query, CacheTable& table);
  int Fail(int code);

  sqlite3* db_;
  std::string lastError_;
};
