#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class InternetSession;
class SitePictureCache;

// Fetches the site's picture of one entry, for showing it beside the query:
// the entry's page (from the second address when the first gives a stub, as
// the generation run does), the image address read with the generation run's
// page parser, then the picture, which is kept in the cache. On a worker
// thread of its own, one fetch at a time: a new request stops the running
// fetch and replaces a waiting one, and a result is delivered only while no
// newer request exists, so the last request wins and nothing is fetched
// that was not asked for.
class SitePictureFetcher {
 public:
  struct Result {
    std::string id;
    bool ok = false;
    std::string bytes;    // the picture's file content when ok
    std::string message;  // one line (Shift-JIS) saying what failed when !ok
  };
  // Called on the worker thread with the result of the latest request.
  using Deliver = std::function<void(Result)>;

  // `session` and `cache` (may be null: nothing kept) must outlive this object.
  SitePictureFetcher(const InternetSession& session, SitePictureCache* cache, Deliver deliver);
  // Stops a running fetch (within about a second) and waits for the worker.
  ~SitePictureFetcher();
  SitePictureFetcher(const SitePictureFetcher&) = delete;
  SitePictureFetcher& operator=(const SitePictureFetcher&) = delete;

  // Asks for `id`'s picture. Any thread.
  void Request(const std::string& id);
  // Drops a waiting request and stops the running one; nothing is delivered
  // for either. Any thread.
  void Cancel();

  // The fetch itself, on the calling thread: stops when `running` turns false.
  // `beforeRequest` (may be empty) runs before each request to the site, so
  // that a caller can space them out; a picture found in the cache makes none.
  static Result Fetch(const std::string& id, const InternetSession& session, SitePictureCache* cache,
                      const std::atomic<bool>& running, const std::function<void()>& beforeRequest = {});

 private:
  void Work();

  const InternetSession& session_;
  SitePictureCache* cache_;
  Deliver deliver_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<std::string> waiting_;  // guarded by mutex_
  unsigned long generation_ = 0;        // guarded by mutex_; grows with each Request and Cancel
  bool stopping_ = false;               // guarded by mutex_
  std::atomic<bool> running_{false};    // the running fetch's flag
  std::thread worker_;
};
