#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "infra/FetchFailure.h"
#include "infra/InternetSession.h"

// The time checks of one transfer, the same for every HTTP back end: the
// stall (nothing arrived for the session's stall time) and the speed window
// (fewer than the session's bytes in a window of time spent waiting for the
// server; the time the reader spends between its calls does not count).
// The back end reports what arrives and how long it waited; this class says
// when the transfer must end, and why.
class TransferPace {
 public:
  // Why the transfer must end: the failure, and the log line's text.
  struct Verdict {
    FetchFailure failure;
    std::string logText;
  };

  // `options` must outlive this object.
  explicit TransferPace(const InternetSession::Options& options);

  // Something arrived (or the transfer began): the stall time starts anew.
  void NoteArrival();
  // `bytes` arrived from the server (headers or body).
  void Count(std::uint64_t bytes);
  // The back end waited `waited` for the server.
  void AddWaited(std::chrono::steady_clock::duration waited);

  // The verdict when a speed window of waiting has passed with fewer bytes
  // than the session asks for; otherwise starts the next window once one
  // has passed.
  std::optional<Verdict> TooSlow();
  // The verdict when nothing arrived for the stall time.
  std::optional<Verdict> Stalled() const;
  // How long the next wait for the server may last: `slice`, or less when
  // the stall time runs out sooner.
  std::chrono::milliseconds NextWait(std::chrono::milliseconds slice) const;

 private:
  std::chrono::milliseconds Silent() const;

  const InternetSession::Options& options_;
  std::chrono::steady_clock::time_point lastArrival_;
  // Time spent waiting for the server, where the current window began on
  // that count, and the bytes received since.
  std::chrono::steady_clock::duration waited_{};
  std::chrono::steady_clock::duration windowStart_{};
  std::uint64_t windowBytes_ = 0;
};
