#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "control/OperationContext.h"
#include "control/OperationResult.h"

// What became of the ids of one generation run, for progress and summary
// reports. Each handled id lands in exactly one of the per-id counts.
struct GenerationTally {
  bool started = false;    // false when the run refused to start
  std::int64_t start = 0;  // the range of "cache_setting.ini"
  std::int64_t end = 0;
  std::int64_t idsDone = 0;
  std::int64_t signaturesAdded = 0;  // new signature computed and kept
  std::int64_t refreshed = 0;        // had a signature; title and votes renewed
  std::int64_t pageFetchFailed = 0;  // the page could not be downloaded
  std::int64_t noTitle = 0;          // page without a title: deleted or no image page
  std::int64_t pageIncomplete = 0;   // title found, the rest of the page missing
  std::int64_t imageFetchFailed = 0;
  std::int64_t imageUnreadable = 0;  // downloaded, but no signature could be computed
  std::int64_t localFileFailed = 0;  // page or image could not be saved on disk
  std::int64_t recordsSaved = -1;    // records in the new "cache.ini"; -1 until saved
  std::int64_t pagesRead = 0;        // ids whose page was there to parse, fetched or saved before
  bool stopped = false;              // the stop flag ended the run before the end of its range

  std::int64_t Failures() const {
    return pageFetchFailed + noTitle + pageIncomplete + imageFetchFailed + imageUnreadable + localFileFailed;
  }
  // Ids were handled, and not one page came (the site down, a wrong host):
  // such a run keeps "cache.ini" and "cache.db" as they were and fails.
  bool ReachedNoPage() const { return idsDone > 0 && pagesRead == 0; }
};

// The cache generation run: walks the id range of "cache_setting.ini", keeps
// the records in "cache.ini", exports them into "cache.db" and reloads it.
// Runs on the calling thread; only the context's stop flag may change from
// another thread meanwhile.
class CacheGeneration {
 public:
  // Called on the running thread after each id, with the counts so far.
  using IdObserver = std::function<void(const GenerationTally&)>;

  explicit CacheGeneration(const OperationContext& context, IdObserver afterEachId = {})
      : context_(context), afterEachId_(std::move(afterEachId)) {}

  // Success only when the records were saved to "cache.ini", exported to
  // "cache.db" and loaded. A run that cannot start (no usable id range in
  // "cache_setting.ini", an unreadable "cache.ini") or that reached no page
  // (Tally().ReachedNoPage()) touches neither file and keeps the loaded
  // cache. Every failure leaves its reason as the last status text and in
  // the result. The stop flag also ends the transfer in progress; the id it
  // belonged to counts as not done. A stopped run saves what it gathered and
  // succeeds like a finished one (one stopped before its first id was done
  // has nothing to save and leaves both files alone); Tally().stopped tells.
  OperationResult Run();

  const GenerationTally& Tally() const { return tally_; }

  // The id range of the setting file at `path`, or the status text saying why
  // there is none: the file is missing or unreadable, START or END is missing
  // or not a decimal id, or END lies before START.
  struct Range {
    std::int32_t start = 0;
    std::int32_t end = 0;
    std::string problem;  // empty when the range is usable
  };
  static Range ReadRange(const std::string& path);

 private:
  OperationResult Refuse(const std::string& status, const std::string& logLine);

  OperationContext context_;
  IdObserver afterEachId_;
  GenerationTally tally_;
};
