#pragma once

#include <string>
#include <vector>

#include "imaging/ImageCache.h"
#include "search/SQLite.h"

// Writes a cache database the way the export lays it out, row by row, for
// tests. The rows are committed by Close() or on destruction.
class CacheFileWriter {
 public:
  explicit CacheFileWriter(const std::string& path);
  ~CacheFileWriter();

  // A row with the given texts and signature; good, bad, adult 0.
  void Add(const std::string& id, const std::string& title, const std::string& name,
           const ImageCache::Colours& signature);
  // A row "id<n>" titled "title<n>" by "name<n>", n counting the rows from 1.
  void Add(const ImageCache::Colours& signature);
  // A row given as the SQL text of its 34 values, e.g. "1, 'a', 'b', 0, ...".
  void AddValues(const std::string& values);
  void Close();

  int Rows() const { return rows_; }

 private:
  SQLite db_;
  int rows_ = 0;
  bool open_ = false;
};

// A signature with every value `value`.
ImageCache::Colours Uniform(int value);
// The SQL text of a row's 34 values with its signature values given as SQL
// texts (a number, a quoted text, null).
std::string RowValues(const std::string& id, const std::vector<std::string>& signature);

// Writes a PNG picture of one grey level at `path`: its signature is Uniform(level).
void WriteUniformPicture(const std::string& path, int level);
