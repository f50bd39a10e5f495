#include "search/CacheLoader.h"

#include <sqlite3.h>

#include <algorithm>
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
constexpr int kColumnsUsed = kFirstValueColumn + CacheTable::kValueCount;
const char kPackFunction[] = "tintwise_load_row";
const char kTooLarge[] = "cache table too large";

// Thrown by AppendRow when the table passes its size limit.
struct TableTooLarge {};

// What the table holds for `table`'s rows: texts plus, per row, the text
// reference and the signature in the current layout.
std::size_t HeldBytes(const CacheTable& table) {
  const std::size_t perRow = sizeof(std::uint64_t) + (table.GetLayout() == CacheTable::Layout::kBytes
                                                          ? CacheTable::kByteStride
                                                          : CacheTable::kIntStride * sizeof(std::int32_t));
  return table.TextBytes() + table.RowCount() * perRow;
}

using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

std::string_view TextOf(sqlite3_value* value) {
  if (value == nullptr) return {};
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
  if (text == nullptr) return {};
  return {text, static_cast<std::size_t>(sqlite3_value_bytes(value))};
}

std::int32_t ValueOf(sqlite3_value* value) {
  if (value == nullptr) return 0;
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

// Appends one row given its used columns in order (id, title, name, c0..c26);
// `column(k)` gives column k's value or nullptr.
template <class Column>
void AppendRow(CacheTable& table, std::size_t maxBytes, const Column& column) {
  ImageCache::Colours signature;
  for (int v = 0; v < CacheTable::kValueCount; ++v) {
    signature[static_cast<std::size_t>(v)] = ValueOf(column(kFirstValueColumn + v));
  }
  table.Append(TextOf(column(kIdColumn)), TextOf(column(kTitleColumn)), TextOf(column(kNameColumn)), signature);
  if (HeldBytes(table) > maxBytes) throw TableTooLarge();
}

struct PackTarget {
  CacheTable* table;
  std::size_t maxBytes;
};

// The aggregate's step: its 30 arguments are the used columns in order.
void PackStep(sqlite3_context* context, int, sqlite3_value** arguments) {
  const auto* target = static_cast<const PackTarget*>(sqlite3_user_data(context));
  try {
    AppendRow(*target->table, target->maxBytes, [&](int k) {
      return arguments[k < kFirstValueColumn ? k : 3 + (k - kFirstValueColumn)];
    });
  } catch (const std::bad_alloc&) {
    sqlite3_result_error_nomem(context);
  } catch (const TableTooLarge&) {
    sqlite3_result_error(context, kTooLarge, -1);
    sqlite3_result_error_code(context, SQLITE_TOOBIG);
  }
}

void PackFinal(sqlite3_context* context) { sqlite3_result_null(context); }

std::string QuotedName(const std::string& name) {
  std::string quoted = "\"";
  for (const char c : name) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Whether every used column can be named unambiguously.
bool NamesAddressPositions(const std::vector<std::string>& names) {
  if (names.size() < static_cast<std::size_t>(kColumnsUsed)) return false;
  std::vector<std::string> lowered;
  for (const std::string& name : names) lowered.push_back(AsciiLower(name));
  std::sort(lowered.begin(), lowered.end());
  return std::adjacent_find(lowered.begin(), lowered.end()) == lowered.end() &&
         std::none_of(names.begin(), names.end(), [](const std::string& n) { return n.empty(); });
}

}  // namespace

int CacheLoader::Fail(int code) {
  lastError_ = code == SQLITE_NOMEM ? "out of memory" : sqlite3_errmsg(db_);
  return code;
}

int CacheLoader::Load(const std::string& tableName, CacheTable& table) {
  // The library refuses longer values (and rows) while this load runs.
  struct LengthLimit {
    sqlite3* db;
    int previous;
    ~LengthLimit() { sqlite3_limit(db, SQLITE_LIMIT_LENGTH, previous); }
  } lengthLimit{db_, sqlite3_limit(db_, SQLITE_LIMIT_LENGTH, limits_.maxValueBytes)};

  const std::string statement = "select * from " + tableName + ";";
  sqlite3_stmt* raw = nullptr;
  const int code = sqlite3_prepare_v2(db_, statement.c_str(), static_cast<int>(statement.size()) + 1, &raw, nullptr);
  Statement query(raw, sqlite3_finalize);
  if (code != SQLITE_OK) return Fail(code);

  std::vector<std::string> names;
  for (int k = 0; k < sqlite3_column_count(raw); ++k) {
    const char* name = sqlite3_column_name(raw, k);
    names.emplace_back(name != nullptr ? name : "");
  }
  if (NamesAddressPositions(names)) {
    const int packed = LoadThroughAggregate(tableName, names, table);
    if (packed != -1) return packed;
  }
  return LoadByStepping(raw, table);
}

int CacheLoader::LoadThroughAggregate(const std::string& tableName, const std::vector<std::string>& columnNames,
                                      CacheTable& table) {
  std::string statement = std::string("select ") + kPackFunction + "(";
  for (int k = 0; k < kColumnsUsed; ++k) {
    if (k == kNameColumn + 1) k = kFirstValueColumn;
    if (k != 0) statement += ", ";
    statement += QuotedName(columnNames[static_cast<std::size_t>(k)]);
  }
  // NOT INDEXED keeps the walk on the table itself, in the order "select *" has.
  statement += ") from " + tableName + " not indexed;";

  constexpr int kArguments = kColumnsUsed - (kFirstValueColumn - kNameColumn - 1);
  PackTarget target{&table, limits_.maxTableBytes};
  if (sqlite3_create_function_v2(db_, kPackFunction, kArguments, SQLITE_UTF8, &target, nullptr, PackStep, PackFinal,
                                 nullptr) != SQLITE_OK) {
    return -1;
  }
  struct Unregister {
    sqlite3* db;
    ~Unregister() { sqlite3_create_function_v2(db, kPackFunction, kArguments, SQLITE_UTF8, nullptr, nullptr, nullptr,
                                               nullptr, nullptr); }
  } unregister{db_};

  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db_, statement.c_str(), static_cast<int>(statement.size()) + 1, &raw, nullptr) !=
      SQLITE_OK) {
    sqlite3_finalize(raw);
    return -1;
  }
  Statement query(raw, sqlite3_finalize);
  int code = SQLITE_ROW;
  while (code == SQLITE_ROW) code = sqlite3_step(raw);
  if (code != SQLITE_DONE) return Fail(code);
  return SQLITE_OK;
}

int CacheLoader::LoadByStepping(sqlite3_stmt* query, CacheTable& table) {
  const int columns = sqlite3_column_count(query);
  // Holding the connection's mutex for the walk makes the column values safe
  // to read through the value interface, which costs one call per column.
  sqlite3_mutex* mutex = sqlite3_db_mutex(db_);
  sqlite3_mutex_enter(mutex);
  struct Leave {
    sqlite3_mutex* mutex;
    ~Leave() { sqlite3_mutex_leave(mutex); }
  } leave{mutex};
  int code = SQLITE_OK;
  try {
    while ((code = sqlite3_step(query)) == SQLITE_ROW) {
      AppendRow(table, limits_.maxTableBytes,
                [&](int k) { return k < columns ? sqlite3_column_value(query, k) : nullptr; });
    }
  } catch (const std::bad_alloc&) {
    return Fail(SQLITE_NOMEM);
  } catch (const TableTooLarge&) {
    lastError_ = kTooLarge;
    return SQLITE_TOOBIG;
  }
  if (code != SQLITE_DONE) return Fail(code);
  return SQLITE_OK;
}
