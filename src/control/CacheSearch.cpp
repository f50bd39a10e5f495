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
#include "control/PictureCheck.h"
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

std::string DifferenceText(std::int64_t difference) {
  // Differences beyond the 32-bit range (only tables holding absurd values
  // have them) show as the largest 32-bit number.
  return NumberToString(
      static_cast<std::int32_t>(std::min<std::int64_t>(difference, std::numeric_limits<std::int32_t>::max())),
      kDifferenceWidth);
}

// "検索終了" and the verdict's line: outcome, id, difference and how it
// matched; the entry as a marked row when another comparison found it.
void ShowVerdict(ControlView& view, const CacheTable& table, const Verdict::Decision& verdict) {
  static const SjisText kDone{u8"検索終了"}, kId{u8"　ID "}, kDifference{u8"　差 "}, kSpace{u8"　"},
      kClosest{u8"　最も近いもの:"};
  std::string line = kDone.str() + "\n" + Verdict::Label(verdict.outcome);
  std::vector<std::string> marked;
  if (verdict.hasEntry) {
    if (verdict.outcome == Verdict::Outcome::kNew) line += kClosest.str();
    line += kId.str() + std::string(table.Id(verdict.entry.row)) + kDifference.str() +
            std::to_string(verdict.entry.difference) + kSpace.str() + ComparisonLabel(verdict.comparison);
    if (verdict.comparison != Comparison::kSame) {
      marked = {std::string(table.Title(verdict.entry.row)), std::string(table.Name(verdict.entry.row)),
                std::string(table.Id(verdict.entry.row)),
                DifferenceText(verdict.entry.difference) + " " + ComparisonLabel(verdict.comparison)};
    }
  }
  view.ShowVerdict(line, marked);
}

}  // namespace

bool CacheSearch::Run(const std::string& path) {
  ControlView& view = context_.view;
  const CacheTable* table = context_.cache.Table();
  static const SjisText kExtracting{u8"画像の特徴の抽出中"};
  static const SjisText kDone{u8"検索終了"};
  static const SjisText kUnreadable{u8"画像を読み込めませんでした"};
  view.EnableControls(false);
  view.ClearRows();
  rows_.clear();
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

  Verdict::Decision verdict;
  if (table) {
    ProgressText progress(table->RowCount());
    const PictureCheck check = CheckSignature(*table, query.colours, hitCount_, [&](std::size_t rowsDone) {
      view.SetStatusText(progress.For(rowsDone));
    });
    const std::vector<SearchHit>& hits = check.match.hits;
    times_.searchMs = Milliseconds(Clock::now() - reduced);
    verdict = check.decision;
    for (const SearchHit& hit : hits) {
      rows_.push_back(hit.row);
      view.AddRow({std::string(table->Title(hit.row)), std::string(table->Name(hit.row)),
                    std::string(table->Id(hit.row)), DifferenceText(hit.difference)});
    }
  }
  view.SetStatusText(kDone);
  if (table) {
    ShowVerdict(view, *table, verdict);
    if (verdict.hasEntry) rows_.push_back(verdict.entry.row);
  }
  view.EnableControls(true);
  return true;
}
