#include "control/SiteConfirmer.h"

#include "control/SitePictureCache.h"
#include "infra/Log.h"
#include "infra/TextEncoding.h"

SiteConfirmer::SiteConfirmer(const InternetSession& session, SitePictureCache* cache, std::size_t fetchLimit,
                             const std::atomic<bool>& running)
    : running_(running), cache_(cache), site_(session, cache, fetchLimit, running) {}

bool SiteConfirmer::Needed(const PictureCheck& check) {
  return check.read && !Confirmation::Candidates(check.match, check.decision).empty();
}

Confirmation::StoredPicture SiteConfirmer::Fetch(const std::string& id) {
  if (failed_ && !(cache_ != nullptr && cache_->Find(id))) return {false, {}, failure_};
  Confirmation::StoredPicture stored = site_(id);
  if (!stored.ok && !failed_) {
    failed_ = true;
    failure_ = stored.message;
  }
  return stored;
}

SiteConfirmer::Outcome SiteConfirmer::Confirm(const std::string& path, const PictureCheck& check,
                                              const CacheTable& table) {
  static const SjisText kLogUnreachable{u8"SiteConfirmer::Confirm() : サイトの画像を取得できませんでした: "};
  Outcome outcome;
  outcome.result.decision = check.decision;
  if (!Needed(check)) return outcome;
  if (!running_.load()) {
    outcome.end = End::kStopped;
    return outcome;
  }
  PictureDetail query;
  std::string reason;
  if (!PictureDetail::FromFile(path, &query, &reason)) {
    // The search read it a moment ago; a file replaced since is all this can be.
    WriteLog("SiteConfirmer::Confirm() : " + PathForLog(path) + " : " + reason);
    outcome.end = End::kNoQuery;
    return outcome;
  }
  outcome.result = Confirmation::Run(query, check.match, check.decision, table,
                                     [this](const std::string& id) { return Fetch(id); }, &running_);
  // A fetch that Abort ended counts as a picture not had; the verdict was
  // not confirmed because of the Abort, not the site.
  if (!running_.load() && (outcome.result.state == Confirmation::State::kNotNeeded ||
                           outcome.result.state == Confirmation::State::kUnreachable)) {
    outcome.result = {};
    outcome.result.decision = check.decision;
    outcome.end = End::kStopped;
    return outcome;
  }
  if (outcome.result.state == Confirmation::State::kUnreachable) WriteLog(kLogUnreachable + outcome.result.message);
  outcome.end = End::kDone;
  return outcome;
}
