#include "control/CacheSearch.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <limits>
#include <vector>

#include "control/ControlView.h"
#include "imaging/ImageCacheDirectX.h"
#include "infra/NumberToString.h"
#include "infra/TextEncoding.h"
#include "search/CacheDatabase.h"
#include "search/CacheTable.h"
#include "search/SimilaritySearch.h"

namespace {

constexpr int kDifferenceWidth = 4;

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

bool CacheSearch::Run(const std::string& path) {
  ControlView& view = context_.view;
  const CacheTable* table = context_.cache.Table();
  static const SjisText kExtracting{u8"画像の特徴の抽出中"};
  static const SjisText kDone{u8"検索終了"};
  static const SjisText kUnreadable{u8"画像を読み込めませんでした"};
  view.EnableControls(false);
  view.ClearRows();
  view.SetStatusText(kExtracting);

  using Clock = std::chrono::steady_clock;
  const auto Milliseconds = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
  const auto started = Clock::now();
  ImageCacheDirectX query;
  query_.reset();
  const bool read = query.LoadImage(path, &error_);
  if (read) query_ = query.colours;
  const auto reduced = Clock::now();
  times_ = {Milliseconds(reduced - started), 0};
  if (!read) {
    // Nothing is listed: an all-zero query would rank the darkest entries
    // as if they had been found.
    view.SetStatusText(kUnreadable + "\n" + ImageErrorStatusText(error_.kind));
    view.EnableControls(true);
    return false;
  }
  error_ = {};

  if (table) {
    ProgressText progress(table->RowCount());
    const std::vector<SearchHit> hits =
        SimilaritySearch(SimilaritySearch::Kernel::kAuto, hitCount_)
            .Run(*table, query.colours,
                 [&](std::size_t rowsDone) { view.SetStatusText(progress.For(rowsDone)); });
    times_.searchMs = Milliseconds(Clock::now() - reduced);
    for (const SearchHit& hit : hits) {
      // Differences beyond the 32-bit range (only tables holding absurd
      // values have them) show as the largest 32-bit number.
      const auto shown =
          static_cast<std::int32_t>(std::min<std::int64_t>(hit.difference, std::numeric_limits<std::int32_t>::max()));
      view.AddRow({std::string(table->Title(hit.row)), std::string(table->Name(hit.row)),
                    std::string(table->Id(hit.row)), NumberToString(shown, kDifferenceWidth)});
    }
  }
  view.SetStatusText(kDone);
  view.EnableControls(true);
  return true;
}
