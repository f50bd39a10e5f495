#pragma once

#include "infra/CacheDownloader.h"

class Control;

// The cache-update operation: fetches the prebuilt "cache.db" from the cache
// server, replaces the local one only with a verified complete copy, and
// reloads it, showing progress on the control's view. Runs on the calling
// thread, like every operation of Control.
class CacheUpdate {
 public:
  explicit CacheUpdate(Control& control, const CacheDownloader::Options& options = {})
      : control_(control), options_(options) {}

  // True when the new database was put in place and loaded. On failure the
  // previous "cache.db" is kept unchanged and loaded again.
  bool Run();

 private:
  Control& control_;
  CacheDownloader::Options options_;
};
