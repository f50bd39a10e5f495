#include "search/CacheLoader.h"

#include <sqlite3.h>

#include <memory>
#include <new>
#include <string_view>

#include "search/CacheTable.h"
#include "search/SignatureValue.h"

namespace {

constexpr int kIdColumn = 0;
constexpr int kTitleColumn = 1;
constexpr int kNameColumn = 2;
constexpr int kFirstValueColumn = 6;

using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

std::string_view TextOf(sqlite3_value* value) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
  if (text == nullptr) return {};
  return {text, static_cast<std::size_t>(sqlite3_value_bytes(value))};
}

std::int32_t ValueOf(sqlite3_value* value) {
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
      return ClampSignatureValue(sqlite3_value_int64(value));
    case SQLITE_NULL:
      return 0;
    default: {
      // Reals and texts go through their text form, as a text reader of the
      // table would see them ("12.5" is 12, "1.0e+20" is 1).
      const std::string_view text = TextOf(value);
      return ParseSignatureValue(text.data(), text.size());
    }
  }
}

}  // namespace

int CacheLoader::Load(const std::string& tableName, CacheTable& table) {
  const std::string statement = "select * from " + tableName + ";";
  sqlite3_stmt* raw = nullptr;
  int code = sqlite3_prepare_v2(db_, statement.c_str(), static_cast<int>(statement.size()) + 1, &raw, nullptr);
  Statement query(raw, sqlite3_finalize);
  if (code != SQLITE_OK) {
    lastError_ = sqlite3_errmsg(db_);
    return code;
  }
  const int columns = sqlite3_column_count(raw);
  const auto column = [&](int k) { return k < columns ? sqlite3_column_value(raw, k) : nullptr; };
  const auto text = [&](int k) {
    sqlite3_value* value = column(k);
    return value == nullptr ? std::string_view{} : TextOf(value);
  };
  ImageCache::Colours signature{};
  // Holding the connection's mutex for the walk makes the column values safe
  // to read through the value interface, which costs one call per column.
  sqlite3_mutex* mutex = sqlite3_db_mutex(db_);
  sqlite3_mutex_enter(mutex);
  struct Leave {
    sqlite3_mutex* mutex;
    ~Leave() { sqlite3_mutex_leave(mutex); }
  } leave{mutex};
  try {
    while ((code = sqlite3_step(raw)) == SQLITE_ROW) {
      for (int v = 0; v < CacheTable::kValueCount; ++v) {
        sqlite3_value* value = column(kFirstValueColumn + v);
        signature[static_cast<std::size_t>(v)] = value == nullptr ? 0 : ValueOf(value);
      }
      table.Append(text(kIdColumn), text(kTitleColumn), text(kNameColumn), signature);
    }
  } catch (const std::bad_alloc&) {
    lastError_ = "out of memory";
    return SQLITE_NOMEM;
  }
  if (code != SQLITE_DONE) {
    lastError_ = sqlite3_errmsg(db_);
    return code;
  }
  return SQLITE_OK;
}
