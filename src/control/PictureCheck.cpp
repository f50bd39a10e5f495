#include "control/PictureCheck.h"

#include "imaging/DecodedImage.h"
#include "imaging/ImageCacheDirectX.h"
#include "imaging/ImageDecoder.h"
#include "search/CacheTable.h"

bool SignatureOfFile(const std::string& path, ImageCache::Colours* signature, std::string* reason) {
  ImageCacheDirectX reduced;
  if (reduced.LoadImage(path)) {
    *signature = reduced.colours;
    return true;
  }
  // The reduction only logs why; decoding again names the reason.
  DecodedImage ignored;
  if (DecodeImageFile(path, &ignored, reason)) *reason = "the signature could not be computed (see log.txt)";
  return false;
}

PictureCheck CheckSignature(const CacheTable& table, const ImageCache::Colours& signature, std::size_t hitCount,
                            const SimilaritySearch::Progress& progress) {
  PictureCheck check;
  check.read = true;
  check.match = MatchSearch(ComparisonSet::Default(), hitCount).Run(table, signature, progress);
  check.decision = Verdict().Decide(check.match);
  return check;
}

PictureCheck CheckPicture(const CacheTable& table, const std::string& path, std::size_t hitCount) {
  ImageCache::Colours signature{};
  std::string reason;
  if (!SignatureOfFile(path, &signature, &reason)) {
    PictureCheck failed;
    failed.reason = reason.empty() ? "cannot read the picture" : reason;
    return failed;
  }
  return CheckSignature(table, signature, hitCount);
}
