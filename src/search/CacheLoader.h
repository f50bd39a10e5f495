#pragma once

#include <string>

struct sqlite3;
class CacheTable;

// Reads the cache table of an open database into a CacheTable in one pass:
// "select * from <table>;" in the order the database returns the rows, taking
// columns by position (0 id, 1 title, 2 name, 6 to 32 the signature values;
// the rest are not kept). Signature values are converted once here: stored
// integers directly, anything else by ParseSignatureValue; a NULL, or a column
// the table does not have, is 0 (a missing text column is empty text).
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
  sqlite3* db_;
  std::string lastError_;
};
