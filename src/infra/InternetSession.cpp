#include "infra/InternetSession.h"

#include "infra/InternetSessionSetup.h"

InternetSession::InternetSession(const std::string& agentName)
    : InternetSession(agentName, Options{}) {}

InternetSession::InternetSession(const std::string& agentName, const Options& options)
    : agentName_(agentName), options_(options) {}

InternetSession::~InternetSession() = default;

bool InternetSession::IsValid() const { return Ready().valid; }

const std::string& InternetSession::FailureForLog() const { return Ready().failureForLog; }

const InternetSession::Setup& InternetSession::Ready() const {
  std::call_once(once_, [this] { setup_ = MakeSetup(); });
  return *setup_;
}
