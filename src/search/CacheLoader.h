#pragma once

#include <cstddef>
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
// A hostile file cannot make the load take unbounded memory: values longer
// than Limits::maxValueBytes fail the load (the library refuses them before
// copying, which also covers a long default that every row shares), and so
// does a table whose texts and signatures pass Limits::maxTableBytes.
// One thread at a time; `db` must stay open while Load runs.
class CacheLoader {
 public:
  struct Limits {
    // Longest text or blob read, and longest row: the cache's own texts are
    // a few hundred bytes at most.
    int maxValueBytes = 64 * 1024;
    // Largest table held: texts with their terminators plus each row's
    // signature and text reference. A real cache takes about 70 bytes a row,
    // so this holds some 60 million rows; it matches the cap on a
    // downloaded cache file.
    std::size_t maxTableBytes = std::size_t{4} << 30;
  };

  explicit CacheLoader(sqlite3* db) : db_(db) {}
  CacheLoader(sqlite3* db, const Limits& limits) : db_(db), limits_(limits) {}

  // Appends the table's rows to `table` (normally empty). Returns the library's
  // result code, 0 on success; on failure LastError() holds the library's
  // message ("out of memory" when the rows do not fit) and `table` holds an
  // unspecified part of the rows, to be thrown away. A value past the limit
  // gives SQLITE_TOOBIG ("string or blob too big"); a table past the limit
  // SQLITE_TOOBIG with LastError() "cache table too large".
  int Load(const std::string& tableName, CacheTable& table);

  const std::string& LastError() const { return lastError_; }

 private:
  // -1 when the statement could not be set up (nothing read yet).
  int LoadThroughAggregate(const std::string& tableName, const std::vector<std::string>& columnNames,
                           CacheTable& table);
  int LoadByStepping(sqlite3_stmt* query, CacheTable& table);
  int Fail(int code);

  sqlite3* db_;
  Limits limits_;
  std::string lastError_;
};
