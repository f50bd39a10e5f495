#pragma once

#include <string>

// Why a transfer did not bring a whole body, as the HTTP layer found it: a
// kind that each front end puts into its own words, and the detail behind it
// (UTF-8, English: the HTTP library's own text or this layer's), for the
// user and the log. A transfer that succeeded has kind kNone.
struct FetchFailure {
  enum class Kind {
    kNone,
    kRefusedAddress,  // not an address this program fetches (see the detail)
    kNoSession,       // the HTTP library is unusable
    kConnect,         // no connection, a failed name lookup, a redirect refused
    kCertificate,     // the server's certificate did not verify
    kHttpStatus,      // the final answer's status was not 200 (`status`)
    kTooLarge,        // the body is, or was announced, past the size limit
    kStalled,         // nothing arrived for the stall time
    kTooSlow,         // less than the minimum arrived within a speed window
    kBroken,          // the body broke off (cut short of its announced length)
    kAborted,         // the running flag turned false
  };

  Kind kind = Kind::kNone;
  long status = 0;     // the HTTP status for kHttpStatus
  std::string detail;  // may be empty

  bool Failed() const { return kind != Kind::kNone; }
  // "kind: detail" in English for a terminal, e.g. "HTTP status 404",
  // "certificate not trusted (SSL certificate problem: ...)".
  std::string English() const;
};
