#pragma once

#include <string>
#include <vector>

// Cache databases and directory listings for the hardening tests.

// Writes a cache database in the export's layout with `rows` rows: id
// "<n>", title "title <n>", poster "poster <n>", signature values (n * 7 + i) % 256.
void WriteCacheDatabase(const std::string& path, int rows);

// Writes a database that passes every structural check but whose `rows` rows
// all share one default title of `titleBytes` bytes, added after the rows
// were written: a few MiB on disk that read as rows * titleBytes of text.
void WriteSharedDefaultBomb(const std::string& path, int rows, int titleBytes);

// The names in a directory, sorted.
std::vector<std::string> FilesIn(const std::string& directory);

// Rows of "TintwiseCache" in the file, read by the library directly; -1 when
// the file does not open or pass the quick check.
int CheckedRowCount(const std::string& path);
