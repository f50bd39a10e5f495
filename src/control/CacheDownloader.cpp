#include "control/CacheDownloader.h"

#include <sqlite3.h>
#include <strings.h>

#include <memory>
#include <vector>

#include "infra/Log.h"
#include "infra/AtomicFile.h"
#include "infra/BodyReceiver.h"
#include "infra/InternetFile.h"
#include "infra/ServerAddress.h"
#include "infra/TextEncoding.h"
#include "search/CacheLoader.h"
#include "search/CacheTable.h"

namespace {

const char kTarget[] = "cache.db";
const char kTableName[] = "TintwiseCache";

const std::string& CannotOpenMessage() {
  static const SjisText text{u8"CacheDownloader::Download() : ファイルを開けませんでした "};
  return text;
}
const std::string& CannotWriteMessage() {
  static const SjisText text{u8"CacheDownloader::Download() : ファイルに書き込めませんでした "};
  return text;
}
const std::string& RejectedMessage() {
  static const SjisText text{u8"CacheDownloader::Download() : キャッシュファイルの検証に失敗しました "};
  return text;
}

struct ConnectionCloser {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Connection = std::unique_ptr<sqlite3, ConnectionCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// The texts in column `column` of every row of a query, appended to `texts`;
// false when the statement fails.
bool CollectTexts(sqlite3* db, const std::string& sql, int column, std::vector<std::string>& texts) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) return false;
  Statement statement(raw);
  int code;
  while ((code = sqlite3_step(raw)) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(raw, column);
    texts.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
  }
  return code == SQLITE_DONE;
}

// `path` as an SQLite URI that opens the file read-only and immutable: the
// library then takes no locks and makes no "-wal" or "-shm" files beside it,
// even when the database is in write-ahead-log mode (which a read-only open
// would otherwise create and leave behind).
std::string ImmutableUri(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file:";
  // A path starting with "//" would otherwise read as an authority.
  if (path.starts_with("//")) uri += "//";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
        c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
      uri += c;
    } else {
      uri += '%';
      uri += kHex[byte >> 4];
      uri += kHex[byte & 0xF];
    }
  }
  return uri + "?mode=ro&immutable=1";
}

std::vector<std::string> ExpectedColumns() {
  std::vector<std::string> columns = {"id", "title", "name", "good", "bad", "adult"};
  for (int i = 0; i <= 26; ++i) columns.push_back("c" + std::to_string(i));
  columns.push_back("image_file_name");
  return columns;
}

}  // namespace

bool CacheDownloader::Download(const InternetSession& session) {
  return Download(session, CacheDatabaseUrl(), kTarget);
}

bool CacheDownloader::Download(const InternetSession& session, const std::string& url,
                               const std::string& target) {
  outcome_ = Outcome::kFetchFailed;
  InternetFile file(url, session, options_.running);
  if (!file.IsOk()) return false;

  // Until Commit the target is untouched; leaving early discards the copy.
  AtomicFile copy(target);
  if (!copy.Ok()) {
    outcome_ = Outcome::kCannotWrite;
    WriteLog(CannotOpenMessage() + PathForLog(target));
    return false;
  }
  switch (BodyReceiver(options_.maxBytes).Receive(file, copy)) {
    case BodyReceiver::Result::kComplete:
      break;
    case BodyReceiver::Result::kBroken:
      // Logged by the reader; the copy is incomplete.
      return false;
    case BodyReceiver::Result::kTooLarge:
      WriteLog(RejectedMessage() + PathForLog(target));
      return false;
    case BodyReceiver::Result::kWriteFailed:
      outcome_ = Outcome::kCannotWrite;
      WriteLog(CannotWriteMessage() + PathForLog(target));
      return false;
  }
  outcome_ = Outcome::kCannotWrite;
  if (!copy.Close()) {
    WriteLog(CannotWriteMessage() + PathForLog(target));
    return false;
  }
  if (!IsCacheDatabase(copy.TemporaryPath())) {
    outcome_ = Outcome::kNotACache;
    WriteLog(RejectedMessage() + PathForLog(target));
    return false;
  }
  if (!copy.CommitDatabase()) {
    WriteLog(CannotWriteMessage() + PathForLog(target));
    return false;
  }
  outcome_ = Outcome::kOk;
  return true;
}

bool CacheDownloader::IsCacheDatabase(const std::string& path) {
  sqlite3* raw = nullptr;
  const int opened =
      sqlite3_open_v2(ImmutableUri(path).c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
  Connection db(raw);
  if (opened != SQLITE_OK) return false;

  std::vector<std::string> types;
  if (!CollectTexts(raw, std::string("select type from sqlite_master where name = '") + kTableName + "';",
                    0, types) ||
      types.size() != 1 || types[0] != "table") {
    return false;
  }
  std::vector<std::string> columns;
  if (!CollectTexts(raw, std::string("pragma table_info(\"") + kTableName + "\");", 1, columns)) return false;
  const std::vector<std::string> expected = ExpectedColumns();
  if (columns.size() != expected.size()) return false;
  for (size_t i = 0; i < columns.size(); ++i) {
    // Column names in SQLite are case-insensitive.
    if (strcasecmp(columns[i].c_str(), expected[i].c_str()) != 0) return false;
  }
  std::vector<std::string> check;
  if (!CollectTexts(raw, "pragma quick_check;", 0, check) || check.size() != 1 || check[0] != "ok") return false;
  // A file can pass the checks above and still not load (a value or a table
  // beyond the loader's limits, such as a huge default every row shares);
  // putting it in place would lose a working cache, so it is loaded once here.
  CacheTable table;
  return CacheLoader(raw).Load(kTableName, table) == SQLITE_OK;
}
