#include "control/SearchConfirmation.h"

#include "control/CheckDisplay.h"
#include "control/ControlView.h"
#include "control/PoliteSiteSource.h"
#include "control/SitePictureCache.h"
#include "infra/Log.h"
#include "infra/TextEncoding.h"
#include "search/CacheDatabase.h"
#include "search/CacheTable.h"

Confirmation::Result SearchConfirmation::Run(const std::string& path, const PictureCheck& check) {
  static const SjisText kConfirming{u8"サイトの画像で確認中…"},
      kStopped{u8"（確認を中止しました）"}, kNoQuery{u8"（照合用に画像を読めず未確認）"},
      kLogUnreachable{u8"SearchConfirmation::Run() : サイトの画像を取得できませんでした: "};
  Confirmation::Result result;
  result.decision = check.decision;
  const CacheTable* table = context_.cache.Table();
  if (table == nullptr || !check.read || !context_.running.load() ||
      Confirmation::Candidates(check.match, check.decision).empty()) {
    return result;
  }
  ControlView& view = context_.view;
  const std::string label = Verdict::Label(check.decision.outcome);
  view.EnableControls(false);
  view.SetStatusText(kConfirming + "\n" + CheckDisplay::VerdictLine(*table, check.decision, label));

  PictureDetail query;
  std::string reason;
  if (!PictureDetail::FromFile(path, &query, &reason)) {
    // The search read it a moment ago; a file replaced since is all this can be.
    WriteLog("SearchConfirmation::Run() : " + PathForLog(path) + " : " + reason);
    view.SetStatusText(CheckDisplay::VerdictStatus(*table, check.decision, label) + kNoQuery.str());
    view.EnableControls(true);
    return result;
  }

  PoliteSiteSource site(context_.session, cache_, Confirmation::kMaxCandidates, context_.running);
  bool failed = false;
  std::string failure;
  const Confirmation::Source source = [&](const std::string& id) {
    if (failed && !(cache_ != nullptr && cache_->Find(id))) return Confirmation::StoredPicture{false, {}, failure};
    Confirmation::StoredPicture stored = site(id);
    if (!stored.ok && !failed) {
      failed = true;
      failure = stored.message;
    }
    return stored;
  };
  result = Confirmation::Run(query, check.match, check.decision, *table, source, &context_.running);

  // A fetch that Abort ended counts as a picture not had; the verdict was
  // not confirmed because of the Abort, not the site.
  if (!context_.running.load() && (result.state == Confirmation::State::kNotNeeded ||
                                   result.state == Confirmation::State::kUnreachable)) {
    result = {};
    result.decision = check.decision;
    view.SetStatusText(CheckDisplay::VerdictStatus(*table, check.decision, label) + kStopped.str());
  } else {
    if (result.state == Confirmation::State::kUnreachable) WriteLog(kLogUnreachable + result.message);
    // A row already marked first stays; only an entry the confirmation
    // picked among the other candidates is added.
    const bool newEntry = result.decision.hasEntry &&
                          (!check.decision.hasEntry || result.decision.entry.row != check.decision.entry.row);
    view.ShowVerdict(CheckDisplay::VerdictStatus(*table, result.decision, Confirmation::Label(result)),
                     newEntry ? CheckDisplay::MarkedRow(*table, result.decision) : std::vector<std::string>{});
  }
  view.EnableControls(true);
  return result;
}
