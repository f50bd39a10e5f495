#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "demosite/DemoCatalog.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

// The demo site's web server, serving a DemoCatalog:
//   /                              the front page (thumbnails of every entry)
//   /mofuimg/pimg.php?imgid=N      the image page (a stub for shortFirstPage entries)
//   /mofuimg/spimg.php?imgid=N     the image page
//   /mofuimg/img/<dir>/<file>      the image files
//   /mofuimg/adult.html            the frame of adult pages
//   /mofu/cache.db                 the prebuilt cache, once SetCacheDatabase
//                                  has given it (requests wait for it)
// Missing ids and unknown paths answer 404. Pages are EUC-JP. Runs on its
// own threads; every member is thread-safe.
class DemoSite {
 public:
  // `catalog` is not owned and must outlive this object.
  explicit DemoSite(const DemoCatalog& catalog);
  // Stops the server.
  ~DemoSite();
  DemoSite(const DemoSite&) = delete;
  DemoSite& operator=(const DemoSite&) = delete;

  // Binds `host`:`port` (0 picks a free port) and serves on a thread of its
  // own. False when the address cannot be bound.
  bool Start(const std::string& host, int port);
  int Port() const { return port_; }
  void Stop();

  // Makes /mofu/cache.db available (or, with nullopt, answer 503 for good).
  void SetCacheDatabase(std::optional<std::string> database);
  // How long a request for /mofu/cache.db waits while it is being built.
  void SetCacheWait(std::chrono::milliseconds wait) { cacheWait_ = wait; }

 private:
  void HandlePage(const httplib::Request& request, httplib::Response& response, bool firstAddress) const;
  void HandleCache(httplib::Response& response);
  std::string HostOf(const httplib::Request& request) const;

  const DemoCatalog& catalog_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  std::string host_;
  int port_ = 0;

  std::mutex mutex_;
  std::condition_variable cacheReady_;
  bool cacheSettled_ = false;
  std::optional<std::string> cache_;
  std::chrono::milliseconds cacheWait_{std::chrono::minutes(5)};
};
