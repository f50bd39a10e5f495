#include "infra/InternetSession.h"

#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <string>
#include <string_view>

#include "infra/InternetSessionSetup.h"
#include "infra/Log.h"
#include "infra/NativeFile.h"
#include "infra/TextEncoding.h"
#include "infra/WindowsText.h"

namespace {

void CloseInternetHandle(void* handle) { ::WinHttpCloseHandle(static_cast<HINTERNET>(handle)); }

void CloseCertificateStore(void* store) { ::CertCloseStore(static_cast<HCERTSTORE>(store), 0); }

bool ReadWholeFile(const std::string& path, std::string& content) {
  NativeFile file = NativeFile::OpenForReading(path, NativeFile::Links::kFollow);
  if (!file.IsOpen()) return false;
  char buffer[16384];
  for (;;) {
    const long long count = file.Read(buffer, sizeof buffer);
    if (count < 0) return false;
    if (count == 0) return true;
    content.append(buffer, static_cast<size_t>(count));
  }
}

// The certificates of a PEM file in a store of their own; null when it holds
// none, or one that does not decode.
HCERTSTORE CertificatesOf(const std::string& pem) {
  static constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
  static constexpr std::string_view kEnd = "-----END CERTIFICATE-----";
  HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
  if (store == nullptr) return nullptr;
  int added = 0;
  for (size_t begin = pem.find(kBegin); begin != std::string::npos; begin = pem.find(kBegin, begin)) {
    const size_t end = pem.find(kEnd, begin);
    if (end == std::string::npos) break;
    const std::string block = pem.substr(begin, end + kEnd.size() - begin);
    begin = end + kEnd.size();
    DWORD size = 0;
    if (!::CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER,
                                nullptr, &size, nullptr, nullptr)) {
      added = 0;
      break;
    }
    std::string der(size, '\0');
    if (!::CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER,
                                reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr) ||
        !::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                            size, CERT_STORE_ADD_ALWAYS, nullptr)) {
      added = 0;
      break;
    }
    ++added;
  }
  if (added == 0) {
    ::CertCloseStore(store, 0);
    return nullptr;
  }
  return store;
}

}  // namespace

std::unique_ptr<InternetSession::Setup> InternetSession::MakeSetup() const {
  auto setup = std::make_unique<Setup>();
  const std::wstring agent = Wide(agentName_);
  // The proxy as the system is set up for it (automatic detection and
  // script included); systems before 8.1 know only the default setting.
  HINTERNET handle = ::WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                   WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
  if (handle == nullptr) {
    handle = ::WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                           WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
  }
  if (handle == nullptr) {
    const DWORD code = ::GetLastError();
    static const SjisText kFailed{
        u8"InternetSession::InternetSession() : インターネットセッションの作成に失敗しました"};
    WriteLog(kFailed);
    setup->failureForLog = "WinHttpOpen: error " + std::to_string(code);
    return setup;
  }
  setup->handle = {handle, &CloseInternetHandle};
  // TLS 1.2 and 1.3 where the system has them: older systems leave TLS 1.2
  // out of the stack's default, and servers refuse what is older.
  for (DWORD protocols : {DWORD{WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3},
                          DWORD{WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2}}) {
    if (::WinHttpSetOption(handle, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) break;
  }
  if (!options_.extraAuthorityFile.empty()) {
    std::string pem;
    HCERTSTORE store = ReadWholeFile(options_.extraAuthorityFile, pem) ? CertificatesOf(pem) : nullptr;
    if (store == nullptr) {
      static const SjisText kNoAuthority{u8"証明書ファイルを読めませんでした "};
      setup->failureForLog = kNoAuthority + PathForLog(options_.extraAuthorityFile);
      WriteLog("InternetSession::InternetSession() : " + setup->failureForLog);
      return setup;
    }
    setup->extraAuthorities = {store, &CloseCertificateStore};
  }
  setup->valid = true;
  return setup;
}
