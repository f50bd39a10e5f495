#include "infra/InternetSession.h"

#include <curl/curl.h>

#include <fstream>
#include <iterator>
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

bool ReadWholeFile(const std::string& path, std::string& content) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  content.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

// The system's PEM bundle as the HTTP library was built to use it.
std::string SystemCertificateBundle() {
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  std::string bundle;
  const char* path = info && info->cainfo ? info->cainfo : "/etc/ssl/certs/ca-certificates.crt";
  if (!ReadWholeFile(path, bundle)) bundle.clear();
  return bundle;
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
    return;
  }
  if (!options_.extraAuthorityFile.empty()) {
    std::string extra;
    if (!ReadWholeFile(options_.extraAuthorityFile, extra) || extra.empty()) {
      static const SjisText kNoAuthority{u8"InternetSession::InternetSession() : 証明書ファイルを読めませんでした "};
      WriteLog(kNoAuthority + PathForLog(options_.extraAuthorityFile));
      valid_ = false;
      return;
    }
    bundle_ = SystemCertificateBundle() + "\n" + extra;
  }
}

InternetSession::~InternetSession() = default;
