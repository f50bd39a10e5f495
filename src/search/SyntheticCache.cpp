#include "search/SyntheticCache.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "imaging/ImageCache.h"
#include "infra/TextEncoding.h"
#include "search/SQLite.h"

namespace {

constexpr int kValues = ImageCache::kValueCount;

const std::vector<std::string>& TitleWords() {
  static const std::vector<std::string> words = [] {
    std::vector<std::string> out;
    for (const char8_t* word : {u8"猫", u8"犬", u8"うさぎ", u8"ふわふわ", u8"もふもふ", u8"夏休み", u8"冬の朝",
                                u8"落書き", u8"練習", u8"オリジナル", u8"イラスト", u8"少女", u8"風景", u8"青空",
                                u8"桜", u8"海辺", u8"星空", u8"夜景", u8"お絵かき", u8"らくがき", u8"まとめ",
                                u8"その", u8"新作", u8"ログ", u8"ハムスター", u8"きつね", u8"たぬき", u8"しっぽ",
                                u8"髙橋", u8"～", u8"①", u8"！", u8"の", u8"と", u8"ver."}) {
      out.push_back(Utf8ToCp932(reinterpret_cast<const char*>(word)));
    }
    return out;
  }();
  return words;
}

const std::vector<std::string>& NameParts() {
  static const std::vector<std::string> parts = [] {
    std::vector<std::string> out;
    for (const char8_t* part : {u8"もふ", u8"しろ", u8"くろ", u8"みけ", u8"たま", u8"ぽち", u8"ゆき", u8"はる",
                                u8"なつ", u8"あき", u8"さくら", u8"山田", u8"田中", u8"鈴木", u8"ネコ", u8"イヌ",
                                u8"丸", u8"太郎", u8"花子", u8"P", u8"絵師", u8"_"}) {
      out.push_back(Utf8ToCp932(reinterpret_cast<const char*>(part)));
    }
    return out;
  }();
  return parts;
}

class Generator {
 public:
  explicit Generator(std::uint64_t seed) : random_(seed) {}

  unsigned Below(unsigned n) { return static_cast<unsigned>(random_() % n); }

  std::string Title() {
    std::string title;
    const unsigned words = 1 + Below(5);
    for (unsigned i = 0; i < words; ++i) title += TitleWords()[Below(static_cast<unsigned>(TitleWords().size()))];
    if (Below(4) == 0) title += std::to_string(1 + Below(30));
    return title;
  }

  std::string Name() {
    std::string name;
    const unsigned parts = 1 + Below(3);
    for (unsigned i = 0; i < parts; ++i) name += NameParts()[Below(static_cast<unsigned>(NameParts().size()))];
    return name;
  }

  ImageCache::Colours Signature() {
    // A picture's 3 x 3 reduction: a dominant colour, a vertical light
    // gradient, and per-cell variation; now and then a nearly black or white one.
    const unsigned kind = Below(20);
    const int spread = kind == 0 ? 12 : 60;
    std::array<int, 3> base{};
    for (int& c : base) c = kind == 0 ? static_cast<int>(Below(40)) : kind == 1 ? 215 + static_cast<int>(Below(41))
                                                                               : static_cast<int>(Below(256));
    const int gradient = static_cast<int>(Below(61)) - 30;
    ImageCache::Colours colours{};
    for (int cell = 0; cell < 9; ++cell) {
      for (int c = 0; c < 3; ++c) {
        const int value = base[static_cast<std::size_t>(c)] + gradient * (cell / 3 - 1) +
                          static_cast<int>(Below(static_cast<unsigned>(2 * spread + 1))) - spread;
        colours[static_cast<std::size_t>(cell * 3 + c)] = std::clamp(value, 0, 255);
      }
    }
    return colours;
  }

 private:
  std::mt19937_64 random_;
};

std::string CreateStatement() {
  std::string sql = "create table TintwiseCache(id, title, name, good, bad, adult";
  for (int i = 0; i < kValues; ++i) sql += ", c" + std::to_string(i);
  return sql + ", image_file_name);";
}

std::string InsertStatement() {
  std::string sql = "insert into TintwiseCache values(?";
  for (int i = 1; i < 34; ++i) sql += ", ?";
  return sql + ");";
}

}  // namespace

bool WriteSyntheticCache(const std::string& path, const SyntheticCacheOptions& options, std::string* error) {
  std::remove(path.c_str());
  SQLite db;
  const auto fail = [&](const std::string& message) {
    if (error != nullptr) *error = message;
    return false;
  };
  if (db.Open(path) != SQLITE_OK) return fail(db.Handle() ? sqlite3_errmsg(db.Handle()) : "cannot open");
  if (db.Exec("pragma journal_mode=off; pragma synchronous=off;") != SQLITE_OK ||
      db.Exec(CreateStatement()) != SQLITE_OK || db.Exec("begin;") != SQLITE_OK) {
    return fail(db.LastError());
  }
  const std::string insert = InsertStatement();
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db.Handle(), insert.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
    return fail(sqlite3_errmsg(db.Handle()));
  }
  std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);

  Generator generate(options.seed);
  std::vector<ImageCache::Colours> recent;  // earlier signatures a repost may copy
  std::int64_t id = 1000 + generate.Below(1000);
  for (std::size_t row = 0; row < options.rows; ++row) {
    id += 1 + generate.Below(3);
    ImageCache::Colours signature = generate.Signature();
    if (!recent.empty() && generate.Below(1000) < options.duplicatesPerThousand) {
      signature = recent[generate.Below(static_cast<unsigned>(recent.size()))];
    }
    if (recent.size() < 4096) {
      recent.push_back(signature);
    } else {
      recent[generate.Below(4096)] = signature;
    }
    const std::string title = generate.Title();
    const std::string name = generate.Name();
    const std::string fileName = "img" + std::to_string(id);
    int column = 1;
    sqlite3_bind_int64(raw, column++, id);
    sqlite3_bind_text(raw, column++, title.data(), static_cast<int>(title.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(raw, column++, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(raw, column++, static_cast<int>(generate.Below(50)));
    sqlite3_bind_int(raw, column++, static_cast<int>(generate.Below(10)));
    sqlite3_bind_int(raw, column++, generate.Below(10) == 0 ? 1 : 0);
    for (const std::int32_t value : signature) sqlite3_bind_int(raw, column++, value);
    sqlite3_bind_text(raw, column++, fileName.data(), static_cast<int>(fileName.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(raw) != SQLITE_DONE) return fail(sqlite3_errmsg(db.Handle()));
    sqlite3_reset(raw);
  }
  statement.reset();
  if (db.Exec("commit;") != SQLITE_OK) return fail(db.LastError());
  return true;
}
