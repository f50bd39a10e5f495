#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "infra/FetchFailure.h"
#include "infra/TransferPace.h"

class InternetSession;

// One request and its body, for InternetFile (which see). This part is the same for
// every back end: the address check, the session check, the failures and
// the log lines. The back end (InternetTransferPosix.cpp: libcurl;
// InternetTransferWindows.cpp: WinHTTP) sends the request, follows the
// redirects and pulls the body at the reader's pace, waiting for the server
// in slices of at most kWaitSlice so that a stop request, a stall and the
// speed window (pace_) are seen in time.
class InternetTransfer {
 public:
  // A transfer through the build's back end.
  static std::unique_ptr<InternetTransfer> Make(const InternetSession& session, const std::atomic<bool>* running);

  virtual ~InternetTransfer();
  InternetTransfer(const InternetTransfer&) = delete;
  InternetTransfer& operator=(const InternetTransfer&) = delete;

  // Checks the address and the session, then sends the request and runs
  // until the final response's headers are in or the transfer has ended.
  // True when the final status is 200; false (logged, Failure() set)
  // otherwise.
  bool Start(const std::string& url);

  // See InternetFile::Read; fills up to InternetFile::kBlockSize bytes.
  virtual size_t Read(char* buffer) = 0;
  virtual std::optional<std::uint64_t> ContentLength() const = 0;

  bool Failed() const { return failed_; }
  bool Aborted() const { return aborted_; }
  const FetchFailure& Failure() const { return failure_; }

 protected:
  // How long one wait for the server lasts at most: a stop request is seen
  // within this time (plus one round of the back end's work).
  static constexpr std::chrono::milliseconds kWaitSlice{100};

  InternetTransfer(const InternetSession& session, const std::atomic<bool>* running);

  // The back end's part of Start: `url` is checked and normalized
  // ("scheme://host[:port]/path[?query]"), the session valid. Ends with
  // one of the calls below.
  virtual bool Begin(const std::string& url) = 0;

  bool StopRequested() const { return running_ && !running_->load(); }

  // The ends of Start: the final status (only 200 succeeds; another is not
  // logged, as callers log it with what they fetched), a stop request, or
  // no usable answer (`failure`, then the log lines with `errorText`).
  bool AcceptStatus(long status);
  bool AbortStart();
  bool FailToConnect(const FetchFailure& failure, const std::string& errorText);
  // The end of a body that broke off (`failure`), logged once: a stop
  // request, or the read failure with `errorText`.
  void FailReading(const FetchFailure& failure, const std::string& errorText);

  // Lines for failures of the back end's own set-up, before the request
  // went out (to FailToConnect).
  static const std::string& NoRequestMessage();
  static const std::string& SettingRefusedMessage();

  const InternetSession& session_;
  TransferPace pace_;
  bool aborted_ = false;

 private:
  const std::atomic<bool>* running_;
  FetchFailure failure_;
  bool failed_ = false;
};
