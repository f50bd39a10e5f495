#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "imaging/ImageCache.h"

#include "control/OperationContext.h"
#include "control/PictureCheck.h"
#include "imaging/ImageError.h"

// The search operation: reduces the picture at a path to its signature and
// lists the closest cached entries on the view. A picture that cannot be
// read lists nothing: the status line says so and why.
class CacheSearch {
 public:
  // Times of the two halves, in milliseconds.
  struct Times {
    double signatureMs = 0;
    double searchMs = 0;
  };

  CacheSearch(const OperationContext& context, std::size_t hitCount) : context_(context), hitCount_(hitCount) {}

  // False when the picture could not be read (LastError tells why).
  bool Run(const std::string& path);
  const Times& LastTimes() const { return times_; }
  const ImageError& LastError() const { return error_; }
  // The last query's signature; nothing when its picture could not be reduced.
  const std::optional<ImageCache::Colours>& LastQuery() const { return query_; }
  // The table rows the last search listed (the verdict's marked row among
  // them), so a front end finds their stored values without a table scan.
  const std::vector<std::size_t>& LastRows() const { return rows_; }
  // The last search's matches and verdict (not read, or nothing matched
  // without a table), for a confirmation after it.
  const PictureCheck& LastCheck() const { return check_; }

 private:
  OperationContext context_;
  std::size_t hitCount_;
  Times times_;
  ImageError error_;
  std::optional<ImageCache::Colours> query_;
  std::vector<std::size_t> rows_;
  PictureCheck check_;
};
