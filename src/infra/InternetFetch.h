#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "infra/BodyReceiver.h"
#include "infra/FetchFailure.h"

class InternetSession;

// Fetches one address's whole body into memory, within a size limit, with a
// running flag that stops it (see InternetFile) and a progress call per
// block. For pictures and pages that are used at once and never kept.
// Failures are logged by the HTTP layer; nothing is thrown. Any thread; the
// progress call runs on the calling thread.
struct InternetFetch {
  enum class Outcome {
    kOk,         // body holds the whole body of a 200 answer
    kNoAnswer,   // a malformed address, no connection, or a status other than 200
    kBroken,     // the body broke off
    kTooLarge,   // the body is (or was announced) longer than the limit
    kAborted,    // the running flag turned false
  };

  // `session` and `running` (may be null) must outlive the call.
  static InternetFetch Get(const std::string& url, const InternetSession& session, std::uint64_t limit,
                           const std::atomic<bool>* running = nullptr,
                           const BodyReceiver::Progress& progress = {});

  Outcome outcome = Outcome::kNoAnswer;
  std::string body;  // empty unless kOk
  FetchFailure failure;  // why, unless kOk
};
