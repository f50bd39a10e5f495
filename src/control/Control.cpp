#include "control/Control.h"

#include <optional>

#include "control/CacheGeneration.h"
#include "control/CacheUpdate.h"
#include "control/ControlView.h"
#include "control/SearchConfirmation.h"
#include "control/SiteConfirmer.h"
#include "infra/InternetSession.h"
#include "infra/TextEncoding.h"

Control::Control(ControlView& view, std::shared_ptr<InternetSession> session)
    : view_(view), session_(session ? std::move(session) : std::make_shared<InternetSession>("Tintwise")) {}

Control::~Control() = default;

void Control::LoadCache() {
  static const SjisText kLoading{u8"キャッシュ読み込み中"};
  static const SjisText kFailed{u8"キャッシュの読み込みに失敗しました"};
  static const SjisText kCount{u8"作品より検索"};
  static const SjisText kMissing{u8"キャッシュがありません"};
  view_.EnableControls(false);
  view_.SetStatusText(kLoading);
  if (!OpenDatabase()) view_.SetStatusText(cache_.Missing() ? kMissing : kFailed);
  view_.SetStatusText(std::to_string(RowCount()) + kCount);
  view_.EnableControls(true);
}

bool Control::Search() {
  CacheSearch search(Context(), hitCount_);
  const bool read = search.Run(path_);
  searchTimes_ = search.LastTimes();
  searchError_ = search.LastError();
  lastQuery_ = search.LastQuery();
  lastRows_ = search.LastRows();
  lastCheck_ = search.LastCheck();
  return read;
}

Confirmation::Result Control::ConfirmLastSearch(SitePictureCache* cache) {
  const Confirmation::Result result = SearchConfirmation(Context(), cache).Run(path_, lastCheck_);
  running_.store(false);
  if (result.decision.hasEntry && (!lastCheck_.decision.hasEntry ||
                                   result.decision.entry.row != lastCheck_.decision.entry.row)) {
    // A candidate the search did not list may now be marked first.
    lastRows_.push_back(result.decision.entry.row);
  }
  lastCheck_.decision = result.decision;
  return result;
}

std::size_t Control::CheckQueue(PictureQueue& queue, const PictureQueue::Changed& changed, bool confirm,
                                SitePictureCache* cache) {
  std::optional<SiteConfirmer> confirmer;
  if (confirm) confirmer.emplace(*session_, cache, PoliteSiteSource::kDefaultFetchLimit, running_);
  const std::size_t checked =
      queue.Run(Table(), running_, changed, hitCount_, confirmer ? &*confirmer : nullptr);
  running_.store(false);
  return checked;
}

OperationResult Control::UpdateCache() { return CacheUpdate(Context()).Run(); }

OperationResult Control::GenerateCache() { return CacheGeneration(Context()).Run(); }
