#pragma once

#include <memory>
#include <string>

class CacheTable;
class SQLite;

// The signature cache as the searches use it: the table "TintwiseCache" of
// one database file, read into a packed CacheTable. The file is held open
// only while a table is held, so that it can be replaced in between.
// One thread at a time.
class CacheDatabase {
 public:
  explicit CacheDatabase(std::string path = "cache.db");
  ~CacheDatabase();
  CacheDatabase(const CacheDatabase&) = delete;
  CacheDatabase& operator=(const CacheDatabase&) = delete;

  // The file that Open reads; relative names are taken from the current
  // (the program's) directory.
  void SetPath(const std::string& path) { path_ = path; }
  const std::string& Path() const { return path_; }

  // Reads the table into memory, replacing what was held. False, with
  // nothing held, on failure (logged). A missing file is not created: Open
  // fails and Missing() is true.
  bool Open();
  // The last Open found no file at Path().
  bool Missing() const { return missing_; }

  // Frees the table and closes the file.
  void Release();

  // The loaded table; nullptr when none is held.
  const CacheTable* Table() const { return table_.get(); }
  int RowCount() const;

 private:
  std::string path_;
  bool missing_ = false;
  std::unique_ptr<SQLite> sqlite_;
  std::unique_ptr<CacheTable> table_;
};
