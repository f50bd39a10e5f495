#include "search/Control.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <limits>

#include "app/Log.h"
#include "cachebuild/CacheGeneration.h"
#include "imaging/ImageCacheDirectX.h"
#include "infra/InternetSession.h"
#include "infra/NumberToString.h"
#include "infra/TextEncoding.h"
#include "search/CacheLoader.h"
#include "search/CacheTable.h"
#include "search/CacheUpdate.h"
#include "search/ControlView.h"
#include "search/SQLite.h"
#include "search/SimilaritySearch.h"

namespace {

const char kTableName[] = "TintwiseCache";
constexpr int kDifferenceWidth = 4;

const SjisText& OpenFailedMessage() {
  static const SjisText text{u8"Control::OpenDatabase() : データベースの読み込みに失敗しました"};
  return text;
}
const SjisText& ReadFailedMessage() {
  static const SjisText text{u8"Control::OpenDatabase() : テーブルの読み込みに失敗しました"};
  return text;
}

// Builds "検索中\n<r>/<count>" in one reused buffer: a large table reports
// progress thousands of times per search.
class ProgressText {
 public:
  explicit ProgressText(std::size_t rowCount) {
    static const SjisText kSearching{u8"検索中"};
    text_ = kSearching.str() + "\n";
    prefix_ = text_.size();
    suffix_ = "/" + std::to_string(rowCount);
  }

  const std::string& For(std::size_t rowsDone) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, rowsDone).ptr;
    text_.resize(prefix_);
    text_.append(digits, end);
    text_ += suffix_;
    return text_;
  }

 private:
  std::string text_;
  std::size_t prefix_ = 0;
  std::string suffix_;
};

}  // namespace

Control::Control(ControlView& view, std::shared_ptr<InternetSession> session)
    : view_(view), session_(session ? std::move(session) : std::make_shared<InternetSession>("Tintwise")) {}

Control::~Control() = default;

int Control::RowCount() const {
  if (!table_) return 0;
  return static_cast<int>(std::min<std::size_t>(table_->RowCount(), std::numeric_limits<int>::max()));
}

void Control::ReleaseDatabase() {
  table_.reset();
  sqlite_.reset();
}

bool Control::OpenDatabase() {
  ReleaseDatabase();
  sqlite_ = std::make_unique<SQLite>();
  // A missing file is created empty (the library's default), so a missing
  // cache ends below as a failed read, not here.
  if (sqlite_->Open(databasePath_) != 0) {
    WriteLog(OpenFailedMessage());
    WriteLog(sqlite_->LastError());
    return false;
  }
  auto table = std::make_unique<CacheTable>();
  CacheLoader loader(sqlite_->Handle());
  if (loader.Load(kTableName, *table) != 0) {
    WriteLog(ReadFailedMessage());
    WriteLog(loader.LastError());
    return false;
  }
  table_ = std::move(table);
  return true;
}

void Control::LoadCache() {
  static const SjisText kLoading{u8"キャッシュ読み込み中"};
  static const SjisText kFailed{u8"キャッシュの読み込みに失敗しました"};
  static const SjisText kCount{u8"作品より検索"};
  view_.EnableControls(false);
  view_.SetStatusText(kLoading);
  if (!OpenDatabase()) view_.SetStatusText(kFailed);
  view_.SetStatusText(std::to_string(RowCount()) + kCount);
  view_.EnableControls(true);
}

void Control::Search() {
  static const SjisText kExtracting{u8"画像の特徴の抽出中"};
  static const SjisText kDone{u8"検索終了"};
  view_.EnableControls(false);
  view_.ClearRows();
  view_.SetStatusText(kExtracting);

  // A file that cannot be reduced leaves the query all zeros; the search goes
  // on with it and lists the darkest images.
  using Clock = std::chrono::steady_clock;
  const auto Milliseconds = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
  const auto started = Clock::now();
  ImageCacheDirectX query;
  (void)query.LoadImage(path_);
  const auto reduced = Clock::now();
  searchTimes_ = {Milliseconds(reduced - started), 0};

  if (table_) {
    ProgressText progress(table_->RowCount());
    const std::vector<SearchHit> hits =
        SimilaritySearch(SimilaritySearch::Kernel::kAuto, hitCount_)
            .Run(*table_, query.colours,
                 [&](std::size_t rowsDone) { view_.SetStatusText(progress.For(rowsDone)); });
    searchTimes_.searchMs = Milliseconds(Clock::now() - reduced);
    for (const SearchHit& hit : hits) {
      // Differences beyond the 32-bit range (only tables holding absurd
      // values have them) show as the largest 32-bit number.
      const auto shown =
          static_cast<std::int32_t>(std::min<std::int64_t>(hit.difference, std::numeric_limits<std::int32_t>::max()));
      view_.AddRow({std::string(table_->Title(hit.row)), std::string(table_->Name(hit.row)),
                    std::string(table_->Id(hit.row)), NumberToString(shown, kDifferenceWidth)});
    }
  }
  view_.SetStatusText(kDone);
  view_.EnableControls(true);
}

void Control::UpdateCache() { CacheUpdate(*this).Run(); }

void Control::GenerateCache() { CacheGeneration(*this).Run(); }
