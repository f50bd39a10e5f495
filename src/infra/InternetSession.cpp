#include "infra/InternetSession.h"

#include <curl/curl.h>

#include <mutex>

#include "infra/Log.h"
#include "infra/TextEncoding.h"

namespace {

// libcurl's global set-up is not thread-safe and must happen once per process;
// it is never undone, since requests may run until the process ends.
bool InitializeCurlOnce() {
  static std::once_flag once;
  static bool initialized = false;
  std::call_once(once, [] { initialized = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  return initialized;
}

}  // namespace

InternetSession::InternetSession(const std::string& agentName)
    : InternetSession(agentName, Options{}) {}

InternetSession::InternetSession(const std::string& agentName, const Options& options)
    : agentName_(agentName), options_(options) {
  valid_ = InitializeCurlOnce();
  if (!valid_) {
    static const SjisText kFailed{
        u8"InternetSession::InternetSession() : インターネットセッションの作成に失敗しました"};
    WriteLog(kFailed);
  }
}

InternetSession::~InternetSession() = default;
