#include "infra/InternetSession.h"

#include <fstream>
#include <iterator>

#include "infra/CurlLibrary.h"
#include "infra/InternetSessionSetup.h"
#include "infra/Log.h"
#include "infra/TextEncoding.h"

namespace {

bool ReadWholeFile(const std::string& path, std::string& content) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  content.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

// The system's PEM bundle as the HTTP library was built to use it.
std::string SystemCertificateBundle(const CurlFunctions& curl) {
  const curl_version_info_data* info = curl.versionInfo(CURLVERSION_NOW);
  std::string bundle;
  const char* path = info && info->cainfo ? info->cainfo : "/etc/ssl/certs/ca-certificates.crt";
  if (!ReadWholeFile(path, bundle)) bundle.clear();
  return bundle;
}

}  // namespace

const std::string& InternetSession::CertificateBundle() const { return Ready().bundle; }

const CurlLibrary* InternetSession::Library() const { return Ready().library; }

std::unique_ptr<InternetSession::Setup> InternetSession::MakeSetup() const {
  auto setup = std::make_unique<Setup>();
  const CurlLibrary* library = nullptr;
  if (options_.httpLibraryFile.empty()) {
    library = &CurlLibrary::Process();
  } else {
    setup->ownLibrary = std::make_unique<CurlLibrary>(options_.httpLibraryFile);
    library = setup->ownLibrary.get();
  }
  if (!library->Functions()) {
    // The library has logged why; the session's own line follows.
    static const SjisText kFailed{
        u8"InternetSession::InternetSession() : インターネットセッションの作成に失敗しました"};
    WriteLog(kFailed);
    setup->failureForLog = PathForLog(library->Failure());
  } else if (!options_.extraAuthorityFile.empty()) {
    std::string extra;
    if (!ReadWholeFile(options_.extraAuthorityFile, extra) || extra.empty()) {
      static const SjisText kNoAuthority{u8"証明書ファイルを読めませんでした "};
      setup->failureForLog = kNoAuthority + PathForLog(options_.extraAuthorityFile);
      WriteLog("InternetSession::InternetSession() : " + setup->failureForLog);
    } else {
      setup->bundle = SystemCertificateBundle(*library->Functions()) + "\n" + extra;
      setup->library = library;
    }
  } else {
    setup->library = library;
  }
  setup->valid = setup->library != nullptr;
  return setup;
}
