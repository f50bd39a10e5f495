#pragma once

#include <optional>
#include <string>
#include <vector>

#include "imaging/ImageError.h"

#include "imaging/ImageCache.h"
#include "imaging/ReductionSink.h"
#include "search/MatchSearch.h"
#include "search/Verdict.h"

class CacheTable;

// The signature of the picture file at `path`. On failure returns false with
// the reason in `reason` (for the user, English, UTF-8). Safe to call from
// several threads at once: it needs no graphics device and writes no log.
// A large picture's rows are reduced on a second thread while the calling
// one decodes, when `spareCores` (IdleCores when empty) finds a processor
// free: worth it only while one would otherwise idle.
bool ReadSignature(const std::string& path, ImageCache::Colours* signature, std::string* reason,
                   const ReductionSink::IdleProbe& spareCores = {});

// One picture checked against the cache: read, matched in every comparison
// of ComparisonSet::Default(), and judged.
struct PictureCheck {
  bool read = false;
  std::string reason;  // why the picture could not be read (when !read)
  // The decoder's kind of failure when the picture was opened and could not
  // be read; none when it was read or never tried (a folder left unlisted).
  std::optional<ImageErrorKind> errorKind;
  ImageCache::Colours signature{};  // when read
  MatchResult match;
  Verdict::Decision decision;
};

// Checks the picture at `path` against `table` (read-only; any thread).
// `hitCount` plain rows are kept in match.hits; `spareCores` as for
// ReadSignature.
PictureCheck CheckPicture(const CacheTable& table, const std::string& path,
                          std::size_t hitCount = SimilaritySearch::kHitCount,
                          const ReductionSink::IdleProbe& spareCores = {});
// The same for a signature already computed; `unframed` as MatchSearch::Run
// takes it (null when the picture is not at hand).
PictureCheck CheckSignature(const CacheTable& table, const ImageCache::Colours& signature,
                            std::size_t hitCount = SimilaritySearch::kHitCount,
                            const SimilaritySearch::Progress& progress = {},
                            const std::vector<ImageCache::Colours>* unframed = nullptr);
