#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "control/CacheSearch.h"
#include "control/Confirmation.h"
#include "control/OperationResult.h"
#include "control/PictureQueue.h"
#include "search/CacheDatabase.h"

class CacheTable;
class ControlView;
class InternetSession;
class SitePictureCache;

// The central object: holds the loaded cache and runs the system's
// operations (load, search, cache update, cache generation) against the view
// that shows their progress. It is a facade: each operation is a class of
// its own working on an OperationContext. Each operation runs to its end on the calling
// thread; the window calls them off its UI thread, one at a time. Only
// Abort() may be called from another thread while an operation runs.
class Control {
 public:
  // `view` must outlive this object. With no session given, one is made with
  // the agent name "Tintwise".
  explicit Control(ControlView& view, std::shared_ptr<InternetSession> session = nullptr);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // Reads the table "TintwiseCache" of "cache.db" (current directory) into
  // memory, replacing what was held. False, with nothing held, on failure (logged).
  bool OpenDatabase() { return cache_.Open(); }
  // The last OpenDatabase found no database file (none is made).
  bool CacheMissing() const { return cache_.Missing(); }

  // OpenDatabase with the start-up status texts ("N作品より検索").
  void LoadCache();

  // Ranks every cached entry against the image at Path() and shows the 20
  // closest. False, with nothing listed and the reason on the status line and
  // in LastSearchError, when the picture cannot be read.
  bool Search();

  // Checks the last Search's verdict against the site's own pictures and
  // shows the outcome on the verdict line (SearchConfirmation), taking and
  // keeping them in `cache` (may be null). The caller sets the running flag
  // before, on the thread that aborts (an Abort during the search then
  // skips this); this call clears it when done.
  Confirmation::Result ConfirmLastSearch(SitePictureCache* cache);

  // Checks the queue's waiting pictures one after another against the
  // loaded table (PictureQueue::Run) until Abort, which leaves the rest not
  // checked. With `confirm`, each verdict is confirmed by the site's own
  // pictures right after its check, as ConfirmLastSearch confirms a search's
  // (taking and keeping them in `cache`, may be null), through one polite
  // source for the whole queue: one request a second, at most
  // PoliteSiteSource::kDefaultFetchLimit pictures fetched, and none asked
  // of the site after one fetch has failed. The caller sets the running
  // flag before (SetRunning(true)), on the thread that aborts; this call
  // clears it when done. Returns how many were checked.
  std::size_t CheckQueue(PictureQueue& queue, const PictureQueue::Changed& changed, bool confirm = false,
                         SitePictureCache* cache = nullptr);

  // Replaces "cache.db" with the prebuilt copy from the cache server and
  // reloads it. The result says whether that worked, and if not why (CacheUpdate).
  OperationResult UpdateCache();

  // Rebuilds the cache by walking the id range of "cache_setting.ini"; the
  // result as CacheGeneration::Run gives it.
  OperationResult GenerateCache();

  // Stops a running cache generation: the download in progress ends at once
  // and no further id is started. Any thread.
  void Abort() { running_.store(false); }
  bool IsRunning() const { return running_.load(); }
  void SetRunning(bool running) { running_.store(running); }

  void SetPath(const std::string& path) { path_ = path; }
  const std::string& Path() const { return path_; }

  // The database that OpenDatabase reads: "cache.db" in the current (the
  // program's) directory unless the command-line front end names another.
  void SetDatabasePath(const std::string& path) { cache_.SetPath(path); }
  const std::string& DatabasePath() const { return cache_.Path(); }

  // How many closest entries Search lists (20 in the window; at least 1).
  void SetHitCount(std::size_t count) { hitCount_ = count; }

  // Times of the last Search's two halves, in milliseconds.
  using SearchTimes = CacheSearch::Times;
  const SearchTimes& LastSearchTimes() const { return searchTimes_; }
  const ImageError& LastSearchError() const { return searchError_; }
  // The last Search's query signature; nothing when its picture could not be reduced.
  const std::optional<ImageCache::Colours>& LastQuery() const { return lastQuery_; }
  // The table rows the last Search listed; they name rows of the table held
  // then, so check an id against Table() before use.
  const std::vector<std::size_t>& LastRows() const { return lastRows_; }
  // The last Search's matches under every comparison and its verdict (the
  // verdict as confirmed, after ConfirmLastSearch).
  const MatchResult& LastMatch() const { return lastCheck_.match; }
  const Verdict::Decision& LastDecision() const { return lastCheck_.decision; }

  // Frees the loaded table and closes the database, before "cache.db" is replaced.
  void ReleaseDatabase() { cache_.Release(); }

  // The loaded table; nullptr when none is held.
  const CacheTable* Table() const { return cache_.Table(); }
  int RowCount() const { return cache_.RowCount(); }

  ControlView& View() const { return view_; }
  // What an operation run outside Search/UpdateCache/GenerateCache works with.
  OperationContext Context() { return {view_, *session_, cache_, running_}; }
  InternetSession& Session() const { return *session_; }

 private:
  ControlView& view_;
  std::string path_;
  std::size_t hitCount_ = 20;
  SearchTimes searchTimes_;
  ImageError searchError_;
  std::optional<ImageCache::Colours> lastQuery_;
  std::vector<std::size_t> lastRows_;
  PictureCheck lastCheck_;
  CacheDatabase cache_;
  std::atomic<bool> running_{false};
  std::shared_ptr<InternetSession> session_;
};
