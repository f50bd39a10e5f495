#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class CurlLibrary;

// The process's HTTP session: the agent name and the time limits that every
// request made through it uses. Shared by reference-counted pointer; requests
// (InternetFile) borrow it for their lifetime. Thread-safe to share.
//
// Making a session does no work: the HTTP library is loaded and the session
// set up when the first request starts or IsValid is first asked, so a
// program that never fetches never loads the library.
//
// The back end differs per system (InternetSessionPosix.cpp: libcurl,
// loaded at run time; InternetSessionWindows.cpp: the system's WinHTTP,
// with its certificate store and proxy settings); the options, the log
// lines and the failures are the same.
class InternetSession {
 public:
  struct Options {
    // A connection not made within this time fails the request.
    std::chrono::milliseconds connectTimeout{15000};
    // A transfer that receives no bytes for this long fails (the body then
    // ends early, which the reader reports).
    std::chrono::milliseconds stallTimeout{30000};
    // A transfer that receives fewer than speedWindowBytes (headers and
    // body) in speedWindow of waiting for the server fails as too slow, so
    // a server that trickles a byte now and then cannot keep it going
    // forever. Only the time the reader waits for data counts: a reader
    // that pauses the transfer to work on what it got is not the server's
    // slowness. The defaults ask for about 1 KiB a second. 0 bytes: no check.
    std::chrono::milliseconds speedWindow{60000};
    std::uint64_t speedWindowBytes = 64 * 1024;
    // Redirects followed before a request fails.
    long maxRedirects = 10;
    // A PEM file of one more certificate authority that https requests
    // trust beside the system's store (a test's own authority). Empty: the
    // system's store alone. Verification is never turned off.
    std::string extraAuthorityFile;
    // The HTTP library's file, loaded for this session alone. Empty: the
    // system's library, loaded once for the whole process (CurlLibrary).
    // Not used on Windows, whose HTTP stack is part of the system.
    std::string httpLibraryFile;
  };

  explicit InternetSession(const std::string& agentName);
  InternetSession(const std::string& agentName, const Options& options);
  virtual ~InternetSession();
  InternetSession(const InternetSession&) = delete;
  InternetSession& operator=(const InternetSession&) = delete;

  // False when the HTTP library could not be loaded or set up, or the extra
  // authority file cannot be read (logged once, when first found);
  // requests through an invalid session fail without crashing. The first
  // call sets the session up (see above); any thread.
  bool IsValid() const;
  const std::string& AgentName() const { return agentName_; }
  const Options& GetOptions() const { return options_; }
  // Why the session is invalid, for a request's log line (Shift-JIS, no
  // method name); empty when it is valid. Sets the session up.
  const std::string& FailureForLog() const;

  // The back end's state (infra/InternetSessionSetup.h, for the request
  // back ends alone). Sets the session up.
  struct Setup;
  const Setup& Ready() const;

#ifndef _WIN32
  // The certificates https requests verify against when an extra authority
  // was given: the system's bundle followed by that authority, PEM. Empty
  // when the HTTP library's own default (the system's store) applies, or
  // the session is invalid. Sets the session up.
  const std::string& CertificateBundle() const;
  // The loaded library requests call through; null when the session is
  // invalid. Sets the session up. Owned by the session or the process.
  const CurlLibrary* Library() const;
#endif

 private:
  // Makes the back end's state; run once, by Ready.
  std::unique_ptr<Setup> MakeSetup() const;

  std::string agentName_;
  Options options_;
  mutable std::once_flag once_;
  mutable std::unique_ptr<Setup> setup_;
};
