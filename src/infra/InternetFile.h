#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "infra/FetchFailure.h"

class InternetSession;
class InternetTransfer;

// One HTTP or HTTPS GET: the constructor sends the request and reads the
// status; the body is then pulled with Read in blocks as it arrives, in
// bounded memory. Certificates are always verified (see InternetSession).
// Failures are logged and never thrown. Not copyable; one thread at a time.
//
// A transfer may be given a running flag: once another thread stores false
// in it, the request or body in progress stops within about 100 ms (no
// wait inside lasts longer) and counts as a failure that Aborted() tells.
class InternetFile {
 public:
  static constexpr size_t kBlockSize = 4096;

  // `session` and `running` (may be null: never stopped) must outlive this object.
  InternetFile(const std::string& url, const InternetSession& session,
               const std::atomic<bool>* running = nullptr);
  virtual ~InternetFile();
  InternetFile(const InternetFile&) = delete;
  InternetFile& operator=(const InternetFile&) = delete;

  // True when the request was sent and the final status (after redirects) is 200.
  bool IsOk() const;

  // Fills up to kBlockSize bytes of `buffer`; returns the count, 0 at the end
  // of the body or on a failure (logged).
  size_t Read(char* buffer);

  // True once Read has returned 0 because the body broke off (connection lost,
  // stalled, cut short of its Content-Length) rather than ending normally.
  bool Failed() const;

  // True when the transfer ended because the running flag turned false.
  bool Aborted() const;

  // Why the request or the body failed (kind kNone while it has not): set
  // when IsOk() is false, and once Read has returned 0 with Failed().
  const FetchFailure& Failure() const;

  // The body length the final response announced; nothing when it gave none
  // or the request failed.
  std::optional<std::uint64_t> ContentLength() const;

 private:
  // The build's HTTP back end does the work (infra/InternetTransfer.h).
  std::unique_ptr<InternetTransfer> transfer_;
  bool ok_ = false;
};
