#pragma once

#include <chrono>
#include <string>

// The process's HTTP session: the agent name and the time limits that every
// request made through it uses. Shared by reference-counted pointer; requests
// (InternetFile) borrow it for their lifetime. Thread-safe to share.
class InternetSession {
 public:
  struct Options {
    // A connection not made within this time fails the request.
    std::chrono::milliseconds connectTimeout{15000};
    // A transfer that receives no bytes for this long fails (the body then
    // ends early, which the reader reports).
    std::chrono::milliseconds stallTimeout{30000};
    // Redirects followed before a request fails.
    long maxRedirects = 10;
    // A PEM file of one more certificate authority that https requests
    // trust beside the system's store (a test's own authority). Empty: the
    // system's store alone. Verification is never turned off.
    std::string extraAuthorityFile;
  };

  explicit InternetSession(const std::string& agentName);
  InternetSession(const std::string& agentName, const Options& options);
  virtual ~InternetSession();
  InternetSession(const InternetSession&) = delete;
  InternetSession& operator=(const InternetSession&) = delete;

  // False when the HTTP library could not be set up or the extra authority
  // file cannot be read (both logged); requests
  // through an invalid session fail without crashing.
  bool IsValid() const { return valid_; }
  const std::string& AgentName() const { return agentName_; }
  const Options& GetOptions() const { return options_; }
  // The certificates https requests verify against when an extra authority
  // was given: the system's bundle followed by that authority, PEM. Empty
  // when the HTTP library's own default (the system's store) applies.
  const std::string& CertificateBundle() const { return bundle_; }

 private:
  std::string agentName_;
  Options options_;
  std::string bundle_;
  bool valid_ = false;
};
