#include "control/CacheSearch.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "control/CheckDisplay.h"
#include "control/ControlView.h"
#include "control/WhiteFrame.h"
#include "imaging/ImageCacheDirectX.h"
#include "infra/NumberToString.h"
#include "infra/TextEncoding.h"
#include "search/CacheDatabase.h"
#include "search/CacheTable.h"
#include "control/PictureCheck.h"
#include "search/SimilaritySearch.h"

namespace {

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
  view.EnableControls(false);
  view.ClearRows();
  rows_.clear();
  check_ = {};
  view.SetStatusText(kExtracting);

  using Clock = std::chrono::steady_clock;
  const auto Milliseconds = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
  const auto started = Clock::now();
  ImageCacheDirectX query;
  query_.reset();
  // The picture's own white frame, if any, for the search's framed
  // candidates, from the same decode.
  WhiteFrame::Reader frame;
  const bool read = query.LoadImage(path, &error_, &frame.Rows());
  if (read) query_ = query.colours;
  const std::vector<ImageCache::Colours> unframed = read ? frame.Unframed() : std::vector<ImageCache::Colours>{};
  const auto reduced = Clock::now();
  times_ = {Milliseconds(reduced - started), 0};
  if (!read) {
    // Nothing is listed: an all-zero query would rank the darkest entries
    // as if they had been found.
    PictureCheck failed;
    failed.errorKind = error_.kind;
    view.SetStatusText(CheckDisplay::UnreadableText(failed));
    view.EnableControls(true);
    return false;
  }
  error_ = {};

  PictureCheck check;
  check.read = true;
  if (table) {
    ProgressText progress(table->RowCount());
    check = CheckSignature(*table, query.colours, hitCount_, [&](std::size_t rowsDone) {
      view.SetStatusText(progress.For(rowsDone));
    }, &unframed);
    times_.searchMs = Milliseconds(Clock::now() - reduced);
    rows_ = CheckDisplay::Rows(check);
  }
  CheckDisplay::Show(view, table, check);
  check_ = std::move(check);
  view.EnableControls(true);
  return true;
}
