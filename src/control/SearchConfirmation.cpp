#include "control/SearchConfirmation.h"

#include "control/CheckDisplay.h"
#include "control/ControlView.h"
#include "control/SiteConfirmer.h"
#include "search/CacheDatabase.h"

Confirmation::Result SearchConfirmation::Run(const std::string& path, const PictureCheck& check) {
  Confirmation::Result result;
  result.decision = check.decision;
  const CacheTable* table = context_.cache.Table();
  if (table == nullptr || !context_.running.load() || !SiteConfirmer::Needed(check)) return result;
  ControlView& view = context_.view;
  view.EnableControls(false);
  view.SetStatusText(CheckDisplay::ConfirmingStatus(*table, check));
  SiteConfirmer confirmer(context_.session, cache_, Confirmation::kMaxCandidates, context_.running);
  const SiteConfirmer::Outcome outcome = confirmer.Confirm(path, check, *table);
  CheckDisplay::ShowConfirmation(view, *table, check, outcome);
  view.EnableControls(true);
  return outcome.end == SiteConfirmer::End::kDone ? outcome.result : result;
}
