#include "search/CacheDatabase.h"

#include <algorithm>
#include <limits>

#include "infra/Log.h"
#include "infra/Platform.h"
#include "infra/TextEncoding.h"
#include "search/CacheLoader.h"
#include "search/CacheTable.h"
#include "search/SQLite.h"

namespace {

const char kTableName[] = "TintwiseCache";

}  // namespace

CacheDatabase::CacheDatabase(std::string path) : path_(std::move(path)) {}

CacheDatabase::~CacheDatabase() = default;

int CacheDatabase::RowCount() const {
  if (!table_) return 0;
  return static_cast<int>(std::min<std::size_t>(table_->RowCount(), std::numeric_limits<int>::max()));
}

void CacheDatabase::Release() {
  table_.reset();
  sqlite_.reset();
}

bool CacheDatabase::Open() {
  static const SjisText kOpenFailed{u8"Control::OpenDatabase() : データベースの読み込みに失敗しました"};
  static const SjisText kReadFailed{u8"Control::OpenDatabase() : テーブルの読み込みに失敗しました"};
  static const SjisText kMissing{u8"Control::OpenDatabase() : キャッシュがありません: "};
  Release();
  // A missing cache is told apart and never created: an empty file in its
  // place would only fail every later start with "no such table".
  missing_ = platform::IsMissing(path_);
  if (missing_) {
    WriteLog(kMissing + PathForLog(platform::AbsolutePath(path_)));
    return false;
  }
  sqlite_ = std::make_unique<SQLite>();
  if (sqlite_->OpenExisting(path_) != 0) {
    WriteLog(kOpenFailed);
    WriteLog(sqlite_->LastError());
    return false;
  }
  auto table = std::make_unique<CacheTable>();
  CacheLoader loader(sqlite_->Handle());
  if (loader.Load(kTableName, *table) != 0) {
    WriteLog(kReadFailed);
    WriteLog(loader.LastError());
    return false;
  }
  table_ = std::move(table);
  return true;
}
