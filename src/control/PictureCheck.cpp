#include "control/PictureCheck.h"

#include "control/WhiteFrame.h"
#include "imaging/ImageError.h"
#include "imaging/SignatureReader.h"
#include "search/CacheTable.h"

namespace {

bool ReadSignature(const std::string& path, ImageCache::Colours* signature, ImageError* error, std::string* reason,
                   const ReductionSink::IdleProbe& spareCores, RowSink* alsoTo = nullptr) {
  if (SignatureOfFile(path, signature, error, ReductionSink::Thread::kWhenIdle, spareCores, alsoTo)) return true;
  *reason = std::string(ImageErrorEnglish(error->kind)) + " (" + error->detail + ")";
  return false;
}

}  // namespace

bool ReadSignature(const std::string& path, ImageCache::Colours* signature, std::string* reason,
                   const ReductionSink::IdleProbe& spareCores) {
  ImageError error;
  return ReadSignature(path, signature, &error, reason, spareCores);
}

PictureCheck CheckSignature(const CacheTable& table, const ImageCache::Colours& signature, std::size_t hitCount,
                            const SimilaritySearch::Progress& progress,
                            const std::vector<ImageCache::Colours>* unframed) {
  PictureCheck check;
  check.read = true;
  check.signature = signature;
  check.match = MatchSearch(ComparisonSet::Default(), hitCount).Run(table, signature, unframed, progress);
  check.decision = Verdict().Decide(check.match);
  return check;
}

PictureCheck CheckPicture(const CacheTable& table, const std::string& path, std::size_t hitCount,
                          const ReductionSink::IdleProbe& spareCores) {
  ImageCache::Colours signature{};
  ImageError error;
  std::string reason;
  WhiteFrame::Reader frame;  // the picture's own white frame, from the same decode
  if (!ReadSignature(path, &signature, &error, &reason, spareCores, &frame.Rows())) {
    PictureCheck failed;
    failed.reason = reason.empty() ? "cannot read the picture" : reason;
    failed.errorKind = error.kind;
    return failed;
  }
  const std::vector<ImageCache::Colours> unframed = frame.Unframed();
  return CheckSignature(table, signature, hitCount, {}, &unframed);
}
