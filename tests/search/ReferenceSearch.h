#pragma once

#include <string>
#include <vector>

#include "imaging/ImageCache.h"
#include "search/SimilaritySearch.h"

// The plain reading of a search, as an independent oracle: each row's
// signature read from the text table, the ranked list kept by insertion.

// Signatures of every row of "TintwiseCache" in `path`, read through the
// library's whole-table text interface and converted with strtoll.
std::vector<ImageCache::Colours> ReadSignaturesAsText(const std::string& path);

// The hits of `query` among `rows`, by the insertion rule of the ranked list.
std::vector<SearchHit> ReferenceRank(const std::vector<ImageCache::Colours>& rows, const ImageCache::Colours& query,
                                     size_t hitCount = SimilaritySearch::kHitCount);
