#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "control/CacheGeneration.h"

// Reports a generation run on a stream that shows no live status line (stderr
// redirected to a file, a scheduler's mail): one progress line after every
// `everyIds`-th id and whenever `interval` has passed since the last line,
// and a summary at the end. Lines are plain ASCII. The stream is borrowed;
// one thread at a time.
class GenerationProgress {
 public:
  using Clock = std::chrono::steady_clock;

  GenerationProgress(std::FILE* out, Clock::time_point started, std::int64_t everyIds = 100,
                     Clock::duration interval = std::chrono::seconds(10))
      : out_(out), started_(started), lastLine_(started), everyIds_(everyIds), interval_(interval) {}

  // After each id, with the run's counts so far; prints a line when one is due.
  void AfterId(const GenerationTally& tally, Clock::time_point now);

  // The summary; `stopped` when the run was stopped before the end of its range.
  void Summary(const GenerationTally& tally, bool stopped, Clock::time_point now) const;

  static std::string ProgressLine(const GenerationTally& tally, double seconds);
  static std::string SummaryLine(const GenerationTally& tally, bool stopped, double seconds);

 private:
  std::FILE* out_;
  Clock::time_point started_;
  Clock::time_point lastLine_;
  std::int64_t everyIds_;
  Clock::duration interval_;
};
