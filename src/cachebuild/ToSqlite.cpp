#include "cachebuild/ToSqlite.h"

#include <cstdint>
#include <sstream>
#include <vector>

#include "infra/Log.h"
#include "imaging/ImageCache.h"
#include "infra/AtomicFile.h"
#include "infra/SettingFile.h"
#include "infra/TextEncoding.h"
#include "search/SQLite.h"

namespace {

const char kTableName[] = "TintwiseCache";

// The log's texts, converted when first needed rather than before main,
// which every command of the programs would pay for.
struct Texts {
  SjisText createFailed{u8"ToSqlite::Export() : データベースを作成できませんでした"};
  SjisText writeFailed{u8"ToSqlite::Export() : データベースの書き込みに失敗しました"};
  SjisText recordSkipped{u8"ToSqlite::Export() : 不正なレコードを飛ばしました"};
  SjisText insertFailed{u8"ToSqlite::Export() : レコードを追加できませんでした"};
};

const Texts& Text() {
  static const Texts texts;
  return texts;
}

// A whole piece that is a decimal integer of 32 bits, with an optional sign,
// leading zeros allowed, no blanks.
bool ParseInt32(const std::string& text, std::int32_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  std::int64_t number = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    number = number * 10 + (text[i] - '0');
    if (number > std::int64_t{INT32_MAX} + 1) return false;
  }
  if (negative) number = -number;
  if (number > INT32_MAX || number < INT32_MIN) return false;
  value = static_cast<std::int32_t>(number);
  return true;
}

// Text as an SQL string literal's content: single quotes doubled. A zero
// byte would end the statement early, so the text ends there.
std::string Quoted(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (const char c : text) {
    if (c == '\0') break;
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  return out;
}

std::string CreateStatement() {
  std::string statement = std::string("create table ") + kTableName + "(id, title, name, good, bad, adult";
  for (int i = 0; i < ImageCache::kValueCount; ++i) statement += ", c" + std::to_string(i);
  statement += ", image_file_name);";
  return statement;
}

}  // namespace

ToSqlite::ToSqlite(const SettingFile& records, std::string target)
    : records_(records), target_(std::move(target)) {
  file_ = std::make_unique<AtomicFile>(target_);
  // The library opens the (empty) temporary file as a new database.
  if (file_->Ok() && file_->Close()) {
    sqlite_ = std::make_unique<SQLite>();
    if (sqlite_->Open(file_->TemporaryPath()) != 0) sqlite_.reset();
  }
}

ToSqlite::~ToSqlite() {
  sqlite_.reset();
  file_.reset();  // removes an uncommitted temporary file
}

std::string ToSqlite::InsertStatement(const SettingFile& records, const std::string& section) {
  std::int32_t id = 0;
  if (!ParseInt32(section, id)) return {};

  std::string values;
  int count = 0;
  std::istringstream pieces(records.Get(section, "CACHE"));
  std::string piece;
  while (std::getline(pieces, piece, ',')) {
    std::int32_t value = 0;
    if (!ParseInt32(piece, value)) return {};
    values += ", " + std::to_string(value);
    ++count;
  }
  if (count != ImageCache::kValueCount) return {};

  std::string imageFileName = records.Get(section, "IMAGE_FILE_NAME");
  if (const auto dot = imageFileName.find('.'); dot != std::string::npos) imageFileName.resize(dot);

  const auto integer = [&](const char* key) {
    return std::to_string(static_cast<std::int32_t>(records.GetInt(section, key)));
  };
  return std::string("insert into ") + kTableName + " values(" + std::to_string(id) + ", '" +
         Quoted(records.Get(section, "TITLE")) + "', '" + Quoted(records.Get(section, "NAME")) + "', " +
         integer("GOOD") + ", " + integer("BAD") + ", " + integer("ADULT") + values + ", '" +
         Quoted(imageFileName) + "');";
}

bool ToSqlite::Fail(const std::string& what) {
  WriteLog(what);
  if (sqlite_ && !sqlite_->LastError().empty()) WriteLog(sqlite_->LastError());
  sqlite_.reset();
  file_.reset();
  return false;
}

bool ToSqlite::Export() {
  if (!sqlite_ || !file_) return Fail(Text().createFailed + PathForLog(target_));
  if (sqlite_->Exec(CreateStatement()) != 0 || sqlite_->Exec("begin;") != 0)
    return Fail(Text().createFailed + PathForLog(target_));
  for (const std::string& section : records_.Sections()) {
    const std::string statement = InsertStatement(records_, section);
    if (statement.empty()) {
      WriteLog(Text().recordSkipped + section);
      continue;
    }
    // The statement is well-formed, so a failure is the file's (a full
    // disk): keep the old database rather than a partial new one.
    if (sqlite_->Exec(statement) != 0) return Fail(Text().insertFailed + section);
  }
  if (sqlite_->Exec("commit;") != 0) return Fail(Text().writeFailed + PathForLog(target_));
  sqlite_.reset();  // closes the connection before the file moves into place
  if (!file_->CommitDatabase()) return Fail(Text().writeFailed + PathForLog(target_));
  return true;
}
