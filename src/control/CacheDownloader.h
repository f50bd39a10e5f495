#pragma once

#include <atomic>
#include <cstdint>
#include <string>

class InternetSession;

// Fetches the prebuilt cache database and puts it in place of the local one,
// but only as a complete, verified copy: the body is received into a
// temporary file beside the target, checked to be an SQLite database that
// holds the table "TintwiseCache" with its 34 columns, passes the library's
// quick check and loads as the search loads it, and then renamed over the target in one step. On
// any failure the target is left byte for byte as it was.
// Holds no state between downloads; one thread at a time per object.
class CacheDownloader {
 public:
  struct Options {
    // A body larger than this is refused like a broken one, so that a
    // misbehaving server cannot fill the disk.
    std::uint64_t maxBytes = std::uint64_t{4} << 30;  // 4 GiB
    // When set, storing false in it (Abort, from any thread) stops the
    // transfer within about a second and leaves the target as it was.
    const std::atomic<bool>* running = nullptr;
  };

  // How the last Download ended.
  enum class Outcome {
    kOk,
    kFetchFailed,  // no answer, a status other than 200, a broken or too large body
    kCannotWrite,  // the copy beside the target could not be made or written
    kNotACache,    // the body arrived whole but is not a usable cache database
  };

  CacheDownloader() = default;
  explicit CacheDownloader(const Options& options) : options_(options) {}
  virtual ~CacheDownloader() = default;

  // Downloads CacheDatabaseUrl() into "cache.db" in the current directory.
  bool Download(const InternetSession& session);

  // Downloads `url` into `target`. True only when `target` now holds the
  // verified new database. Failures are logged: the HTTP layer logs
  // connection errors and broken bodies, this class a target that cannot be
  // created or written and a body that is not a usable cache database.
  bool Download(const InternetSession& session, const std::string& url, const std::string& target);

  Outcome LastOutcome() const { return outcome_; }

  // True when the file at `path` is an SQLite database whose table
  // "TintwiseCache" has the cache's 34 columns, which passes the quick check
  // and whose table loads within the loader's limits (CacheLoader).
  // Opens the file read-only as an immutable file, so that nothing (no
  // "-wal" or "-shm" file) is created beside it, and closes it before returning.
  static bool IsCacheDatabase(const std::string& path);

 private:
  Options options_;
  Outcome outcome_ = Outcome::kOk;
};
