#pragma once

#include <memory>
#include <string>

class AtomicFile;
class SettingFile;
class SQLite;

// Writes the records of a cache generation run (one section per image id,
// keys TITLE, NAME, CACHE, GOOD, BAD, ADULT and optionally IMAGE_FILE_NAME)
// into a new database with the table "TintwiseCache", in one transaction.
// The database is built in a temporary file beside the target and renamed
// over it only once complete, so a failure part-way keeps the old database.
// One thread at a time.
class ToSqlite {
 public:
  // `records` is not owned and must outlive this object. `target` is
  // relative to the current directory.
  explicit ToSqlite(const SettingFile& records, std::string target = "cache.db");
  virtual ~ToSqlite();
  ToSqlite(const ToSqlite&) = delete;
  ToSqlite& operator=(const ToSqlite&) = delete;

  // Creates the table and inserts every record, in the byte-wise order of
  // the section names. A record whose id or signature pieces are not decimal
  // 32-bit integers, or whose signature does not hold 27 values, is skipped
  // and logged. Returns true when the new database replaced the target;
  // false, with the target untouched and the failure logged, otherwise.
  // Call once.
  bool Export();

  // The insert statement for one record, or an empty text when the record
  // cannot be exported.
  static std::string InsertStatement(const SettingFile& records, const std::string& section);

 private:
  bool Fail(const std::string& what);

  const SettingFile& records_;
  std::string target_;
  std::unique_ptr<AtomicFile> file_;
  std::unique_ptr<SQLite> sqlite_;
};
