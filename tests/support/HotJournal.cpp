#include "HotJournal.h"

#include <sqlite3.h>

#include <fstream>
#include <iterator>

std::string HotJournalOf(const std::string& path) {
  sqlite3* db = nullptr;
  std::string journal;
  if (sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
      sqlite3_exec(db, "pragma synchronous=off; begin; delete from TintwiseCache;", nullptr, nullptr, nullptr) ==
          SQLITE_OK) {
    std::ifstream in(path + "-journal", std::ios::binary);
    journal.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    sqlite3_exec(db, "rollback;", nullptr, nullptr, nullptr);
  }
  sqlite3_close(db);
  return journal;
}
