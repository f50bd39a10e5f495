#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>

#include "control/Confirmation.h"

class InternetSession;
class SitePictureCache;

// The site's pictures for confirmation, fetched politely: a picture kept in
// the cache is used without asking the site; otherwise at most one request
// a second (page and picture alike) and at most `fetchLimit` pictures
// fetched over the object's life (a run of `check`), after which an entry
// counts as unreachable. Every fetched picture is kept in the cache (when
// there is one). Waiting stops as soon as `running` turns false.
// Thread-safe: calls take turns.
class PoliteSiteSource {
 public:
  static constexpr std::chrono::milliseconds kRequestSpacing{1000};
  static constexpr std::size_t kDefaultFetchLimit = 100;

  // Every reference outlives this object; `cache` may be null.
  PoliteSiteSource(const InternetSession& session, SitePictureCache* cache, std::size_t fetchLimit,
                   const std::atomic<bool>& running);

  Confirmation::StoredPicture operator()(const std::string& id);
  // Confirmation's view of this object (which must outlive it).
  Confirmation::Source AsSource() {
    return [this](const std::string& id) { return (*this)(id); };
  }

  std::size_t Fetched() const;
  std::size_t Requests() const;

 private:
  void WaitForTurn();

  const InternetSession& session_;
  SitePictureCache* cache_;
  const std::size_t fetchLimit_;
  const std::atomic<bool>& running_;
  mutable std::mutex mutex_;
  std::chrono::steady_clock::time_point lastRequest_{};
  bool asked_ = false;
  std::size_t fetched_ = 0;
  std::size_t requests_ = 0;
};
