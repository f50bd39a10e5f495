#pragma once

#include <string>

#include "control/Confirmation.h"
#include "control/OperationContext.h"
#include "control/PictureCheck.h"

class SitePictureCache;

// A window's search checked against the site's own pictures right after it,
// on the same thread, when Confirmation finds candidates (a posted or
// similar verdict, or close rows). While it runs the status line says
// "サイトの画像で確認中…" above the search's verdict and only Abort is
// usable; then the verdict line carries Confirmation::Label (confirmed,
// downgraded, compared, or not confirmed when the site could not be had).
// Abort (the running flag) ends it within a second, leaving the search's
// verdict marked as not confirmed.
//
// Pictures come from `cache` first and are kept there (SiteConfirmer); at
// most Confirmation::kMaxCandidates are fetched, and one failed fetch ends
// the asking.
class SearchConfirmation {
 public:
  // `cache` may be null (nothing kept); it must outlive this object.
  SearchConfirmation(const OperationContext& context, SitePictureCache* cache) : context_(context), cache_(cache) {}

  // Confirms `check`, the search of the picture at `path`, and shows the
  // outcome. The verdict as it stands, state kNotNeeded, when there was
  // nothing to confirm or Abort came first.
  Confirmation::Result Run(const std::string& path, const PictureCheck& check);

 private:
  OperationContext context_;
  SitePictureCache* cache_;
};
