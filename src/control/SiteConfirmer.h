#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "control/Confirmation.h"
#include "control/PictureCheck.h"
#include "control/PoliteSiteSource.h"

class CacheTable;
class InternetSession;
class SitePictureCache;

// A window's checks confirmed by the site's own pictures, one after another
// over one run: a search, or every picture of a queue. All of them share one
// PoliteSiteSource, so the site sees at most one request a second for the
// whole run, and pictures come from `cache` first and are kept there, as
// "サイトの画像" keeps them. After one fetch has failed, the rest of the run
// takes pictures from the cache only: a site that cannot be reached costs
// the run one attempt, not three per picture. Shows nothing (CheckDisplay
// does); one thread at a time.
class SiteConfirmer {
 public:
  // How a confirmation ended.
  enum class End {
    kNone,     // nothing to confirm, or not tried
    kDone,     // the result stands: confirmed, downgraded, compared or unreachable
    kNoQuery,  // the picture could not be read again to compare it
    kStopped,  // Abort came first: the search's verdict, not confirmed
  };
  struct Outcome {
    End end = End::kNone;
    Confirmation::Result result;  // result.decision: the verdict as it now stands
  };

  // Every reference outlives this object; `cache` may be null (nothing
  // kept). At most `fetchLimit` pictures are fetched over the run.
  SiteConfirmer(const InternetSession& session, SitePictureCache* cache, std::size_t fetchLimit,
                const std::atomic<bool>& running);

  // Whether `check` has anything to confirm: a picture read and candidates
  // (a posted or similar verdict, or close rows).
  static bool Needed(const PictureCheck& check);

  // Confirms `check`, the search of the picture at `path` against `table`.
  Outcome Confirm(const std::string& path, const PictureCheck& check, const CacheTable& table);

  // The verdict after `outcome` (the search's own while it was not done).
  static const Verdict::Decision& Decision(const PictureCheck& check, const Outcome& outcome) {
    return outcome.end == End::kDone ? outcome.result.decision : check.decision;
  }

 private:
  Confirmation::StoredPicture Fetch(const std::string& id);

  const std::atomic<bool>& running_;
  SitePictureCache* cache_;
  PoliteSiteSource site_;
  bool failed_ = false;
  std::string failure_;  // the first failed fetch's reason
};
