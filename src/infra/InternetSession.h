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
  };

  explicit InternetSession(const std::string& agentName);
  InternetSession(const std::string& agentName, const Options& options);
  virtual ~InternetSession();
  InternetSession(const InternetSession&) = delete;
  InternetSession& operator=(const InternetSession&) = delete;

  // False when the HTTP library could not be set up (logged); requests
  // through an invalid session fail without crashing.
  bool IsValid() const { return valid_; }
  const std::string& AgentName() const { return agentName_; }
  const Options& GetOptions() const { return options_; }

 private:
  std::string agentName_;
  Options options_;
  bool valid_ = false;
};
