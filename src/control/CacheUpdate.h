#pragma once

#include "control/CacheDownloader.h"
#include "control/OperationContext.h"
#include "control/OperationResult.h"

// The cache-update operation: fetches the prebuilt "cache.db" from the cache
// server, replaces the local one only with a verified complete copy, and
// reloads it, showing progress on the context's view. Runs on the calling
// thread, like every operation of Control.
class CacheUpdate {
 public:
  explicit CacheUpdate(const OperationContext& context, const CacheDownloader::Options& options = {})
      : context_(context), options_(options) {}

  // Success when the new database was put in place and loaded. On a failed
  // download the previous "cache.db" is kept unchanged and loaded again; the
  // reason is the last status text.
  OperationResult Run();

 private:
  OperationContext context_;
  CacheDownloader::Options options_;
};
