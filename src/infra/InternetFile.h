#pragma once

#include <cstddef>
#include <memory>
#include <string>

class InternetSession;

// One HTTP GET: the constructor sends the request and reads the status; the
// body is then pulled with Read in blocks as it arrives, in bounded memory.
// Failures are logged and never thrown. Not copyable; one thread at a time.
class InternetFile {
 public:
  static constexpr size_t kBlockSize = 4096;

  // `session` must outlive this object.
  InternetFile(const std::string& url, const InternetSession& session);
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

 private:
  class Transfer;
  std::unique_ptr<Transfer> transfer_;
  bool ok_ = false;
};
