#include "infra/InternetTransfer.h"

#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string_view>

#include "infra/InternetFile.h"
#include "infra/InternetSession.h"
#include "infra/InternetSessionSetup.h"
#include "infra/TextEncoding.h"
#include "infra/WindowsText.h"

namespace {

using Clock = std::chrono::steady_clock;

// The system's English text for an error of the HTTP stack or the system
// (UTF-8), without the trailing line break and full stop.
std::string ErrorText(DWORD code) {
  // The stack's usual failures in fixed words: not every system has its
  // message texts in English.
  static const struct {
    DWORD code;
    const char* text;
  } kKnown[] = {
      {ERROR_WINHTTP_TIMEOUT, "the operation timed out"},
      {ERROR_WINHTTP_NAME_NOT_RESOLVED, "the server name could not be resolved"},
      {ERROR_WINHTTP_CANNOT_CONNECT, "could not connect to the server"},
      {ERROR_WINHTTP_CONNECTION_ERROR, "the connection was reset or closed"},
      {ERROR_WINHTTP_INVALID_SERVER_RESPONSE, "the server's answer is not valid HTTP"},
      {ERROR_WINHTTP_REDIRECT_FAILED, "the redirect failed (too many, or to another scheme)"},
      {ERROR_WINHTTP_SECURE_CHANNEL_ERROR, "the secure channel could not be set up"},
      {ERROR_WINHTTP_SECURE_FAILURE, "the server's certificate was refused"},
      {ERROR_WINHTTP_OPERATION_CANCELLED, "the operation was cancelled"},
      {ERROR_WINHTTP_INVALID_URL, "the address is not valid"},
      {ERROR_WINHTTP_UNRECOGNIZED_SCHEME, "the address's scheme is not supported"},
  };
  for (const auto& known : kKnown) {
    if (known.code == code) return std::string(known.text) + " (error " + std::to_string(code) + ")";
  }
  wchar_t* text = nullptr;
  DWORD length = 0;
  const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM |
                      FORMAT_MESSAGE_FROM_HMODULE;
  HMODULE stack = ::GetModuleHandleW(L"winhttp.dll");
  for (DWORD language : {static_cast<DWORD>(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)), DWORD{0}}) {
    length = ::FormatMessageW(flags, stack, code, language, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length != 0 && text != nullptr) break;
  }
  if (length == 0 || text == nullptr) return "error " + std::to_string(code);
  std::string message = Narrow(std::wstring_view(text, length));
  ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.' ||
                              message.back() == ' '))
    message.pop_back();
  return message + " (error " + std::to_string(code) + ")";
}

// Why the server's certificate was refused, from the flags the stack reported.
std::string CertificateReasons(DWORD flags) {
  static const struct {
    DWORD flag;
    const char* text;
  } kReasons[] = {
      {WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA, "issued by an authority that is not trusted"},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID, "not issued for this host name"},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID, "expired or not yet valid"},
      {WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT, "invalid"},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED, "revoked"},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED, "its revocation could not be checked"},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_WRONG_USAGE, "not meant for a server"},
  };
  std::string text;
  for (const auto& reason : kReasons) {
    if (flags & reason.flag) text += (text.empty() ? "" : ", ") + std::string(reason.text);
  }
  return "server certificate problem: " + (text.empty() ? std::string("not accepted") : text);
}

constexpr DWORD kCertificateFlags =
    WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA | WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID |
    WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID | WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT |
    WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED | WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED |
    WINHTTP_CALLBACK_STATUS_FLAG_CERT_WRONG_USAGE;

// See ChainOf.
bool ChainsToExtraAuthority(PCCERT_CONTEXT server, HCERTSTORE authorities) {
  struct StoreClose {
    void operator()(void* store) const { ::CertCloseStore(store, 0); }
  };
  std::unique_ptr<void, StoreClose> known(::CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr));
  if (!known || !::CertAddStoreToCollection(known.get(), authorities, 0, 0)) return false;
  if (server->hCertStore != nullptr) ::CertAddStoreToCollection(known.get(), server->hCertStore, 0, 0);

  char serverUse[] = szOID_PKIX_KP_SERVER_AUTH;
  LPSTR uses[] = {serverUse};
  CERT_CHAIN_PARA parameters{};
  parameters.cbSize = sizeof parameters;
  parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  parameters.RequestedUsage.Usage.cUsageIdentifier = 1;
  parameters.RequestedUsage.Usage.rgpszUsageIdentifier = uses;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  if (!::CertGetCertificateChain(nullptr, server, nullptr, known.get(), &parameters, 0, nullptr, &chain) ||
      chain == nullptr)
    return false;
  std::unique_ptr<const CERT_CHAIN_CONTEXT, decltype(&::CertFreeCertificateChain)> chainOwner(
      chain, &::CertFreeCertificateChain);
  if (chain->cChain != 1 || chain->rgpChain[0]->cElement == 0) return false;
  if ((chain->TrustStatus.dwErrorStatus & ~DWORD{CERT_TRUST_IS_UNTRUSTED_ROOT}) != CERT_TRUST_NO_ERROR) return false;
  const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
  const CERT_CHAIN_ELEMENT* root = simple->rgpElement[simple->cElement - 1];
  if (!(root->TrustStatus.dwInfoStatus & CERT_TRUST_IS_SELF_SIGNED)) return false;
  PCCERT_CONTEXT match = ::CertFindCertificateInStore(authorities, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                                      root->pCertContext, nullptr);
  if (match == nullptr) return false;
  ::CertFreeCertificateContext(match);
  return true;
}

enum class Chain { kToExtraAuthority, kElsewhere, kUnknown };

// Whether the certificate `request`'s server presented chains, through the
// certificates it sent, to a root held in `authorities` (the session's
// extra authority), with no fault but that root's absence from the system's
// store: right time, server use, every signature. kUnknown when the stack
// no longer holds the certificate.
Chain ChainOf(HINTERNET request, HCERTSTORE authorities) {
  PCCERT_CONTEXT server = nullptr;
  DWORD size = sizeof server;
  if (!::WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &server, &size) || server == nullptr)
    return Chain::kUnknown;
  const bool toExtra = ChainsToExtraAuthority(server, authorities);
  ::CertFreeCertificateContext(server);
  return toExtra ? Chain::kToExtraAuthority : Chain::kElsewhere;
}

// What the stack's callbacks (on its own threads) tell the transfer. Shared:
// the request handle holds one reference until its last callback, so a late
// callback after the transfer ended still finds it.
struct Events {
  explicit Events(HCERTSTORE extraAuthorities)
      : authorities(extraAuthorities ? ::CertDuplicateStore(extraAuthorities) : nullptr) {}
  ~Events() {
    if (authorities) ::CertCloseStore(authorities, 0);
  }
  Events(const Events&) = delete;
  Events& operator=(const Events&) = delete;

  std::mutex mutex;
  std::condition_variable changed;
  // The operation in flight ended: well (`bytes`: what it made available or
  // read) or with `error`.
  bool completed = false;
  DWORD error = 0;
  DWORD bytes = 0;
  // Something came from the server since the transfer last looked.
  bool arrived = false;
  // The flags of the last refused certificate.
  DWORD secureFailure = 0;
  // Set when the stack was told to accept an unknown authority: then every
  // server's certificate must chain to `authorities`, and one that did not
  // is noted here before the request is sent on.
  bool checkAuthorities = false;
  bool authorityRefused = false;
  // A redirect to an address that is not http or https (file://, ftp://),
  // which the transfer refuses as the Linux one does, whatever the stack
  // would make of it.
  bool redirectRefused = false;
  HCERTSTORE authorities;
  // Where the body's bytes are read into; here, so that it outlives a read
  // the transfer gave up on.
  char block[InternetFile::kBlockSize];
};

using EventsReference = std::shared_ptr<Events>;

void CALLBACK OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status, void* information, DWORD length) {
  auto* reference = reinterpret_cast<EventsReference*>(context);
  if (reference == nullptr) return;
  if (status == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) {
    // The handle's last callback: its reference ends here.
    std::unique_ptr<EventsReference> owned(reference);
    return;
  }
  Events& events = **reference;
  // Checked outside the lock: it asks the stack and builds a chain.
  const bool check = status == WINHTTP_CALLBACK_STATUS_SENDING_REQUEST && [&events] {
    std::lock_guard lock(events.mutex);
    return events.checkAuthorities;
  }();
  const bool refused = check && ChainOf(handle, events.authorities) != Chain::kToExtraAuthority;
  std::lock_guard lock(events.mutex);
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDING_REQUEST:
      if (refused) events.authorityRefused = true;
      return;
    case WINHTTP_CALLBACK_STATUS_SECURE_FAILURE:
      if (information != nullptr && length >= sizeof(DWORD)) events.secureFailure = *static_cast<DWORD*>(information);
      return;
    case WINHTTP_CALLBACK_STATUS_REDIRECT: {
      const std::wstring_view target(information != nullptr ? static_cast<const wchar_t*>(information) : L"",
                                     information != nullptr ? length : 0);
      const auto startsWith = [&target](std::wstring_view scheme) {
        return target.size() >= scheme.size() &&
               std::equal(scheme.begin(), scheme.end(), target.begin(),
                          [](wchar_t a, wchar_t b) { return a == (b >= L'A' && b <= L'Z' ? b - L'A' + L'a' : b); });
      };
      // The target may be given relative ("/new"): only a scheme other than
      // http or https is refused.
      const size_t colon = target.find(L':');
      const bool hasScheme = colon != std::wstring_view::npos && colon > 0 &&
                             target.substr(0, colon).find_first_of(L"/?#") == std::wstring_view::npos;
      if (hasScheme && !startsWith(L"http://") && !startsWith(L"https://")) events.redirectRefused = true;
      events.arrived = true;
      break;
    }
    case WINHTTP_CALLBACK_STATUS_RESPONSE_RECEIVED:
      events.arrived = true;
      break;
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      events.completed = true;
      events.error = 0;
      events.bytes = 0;
      break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
      events.completed = true;
      events.error = 0;
      events.bytes = information != nullptr ? *static_cast<DWORD*>(information) : 0;
      events.arrived = true;
      break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      events.completed = true;
      events.error = 0;
      events.bytes = length;
      events.arrived = true;
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR: {
      const auto* result = static_cast<const WINHTTP_ASYNC_RESULT*>(information);
      events.completed = true;
      events.error = result != nullptr && result->dwError != 0 ? result->dwError : ERROR_WINHTTP_INTERNAL_ERROR;
      break;
    }
    default:
      return;
  }
  events.changed.notify_all();
}

struct InternetHandleClose {
  void operator()(void* handle) const { ::WinHttpCloseHandle(static_cast<HINTERNET>(handle)); }
};
using InternetHandle = std::unique_ptr<void, InternetHandleClose>;

// The parts of a checked, normalized address ("scheme://host[:port]/rest").
struct Address {
  bool secure = false;
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring pathAndQuery;
};

Address Split(const std::string& url) {
  Address address;
  address.secure = url.compare(0, 8, "https://") == 0;
  const size_t hostStart = url.find("://") + 3;
  const size_t pathStart = url.find('/', hostStart);
  const std::string authority = url.substr(hostStart, pathStart - hostStart);
  std::string host = authority;
  std::string port;
  const size_t close = authority.find(']');
  const size_t colon = authority.find(':', close == std::string::npos ? 0 : close);
  if (colon != std::string::npos) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  // The stack takes an IPv6 address without its brackets.
  if (host.size() > 2 && host.front() == '[') host = host.substr(1, host.size() - 2);
  address.host = Wide(host);
  address.port = port.empty() ? (address.secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT)
                              : static_cast<INTERNET_PORT>(std::stoi(port));
  address.pathAndQuery = Wide(url.substr(pathStart));
  return address;
}

// One transfer through the system's HTTP stack, asynchronous: each step
// (send, response, data available, read) is started here and waited for in
// slices, so that a stop request, a stall and the speed window are seen in
// time; the stack follows the redirects itself. The body is pulled at the
// reader's pace: a step is only started when Read wants data.
class WindowsTransfer final : public InternetTransfer {
 public:
  WindowsTransfer(const InternetSession& session, const std::atomic<bool>* running)
      : InternetTransfer(session, running) {}

  ~WindowsTransfer() override { Close(); }

  size_t Read(char* buffer) override {
    if (ended_) return 0;
    if (available_ == 0) {
      if (!Step(::WinHttpQueryDataAvailable(request_.get(), nullptr))) return FailBody();
      available_ = LastBytes();
      if (available_ == 0) return EndBody();
    }
    const DWORD want = std::min<DWORD>(available_, InternetFile::kBlockSize);
    if (!Step(::WinHttpReadData(request_.get(), events_->block, want, nullptr))) return FailBody();
    const DWORD got = LastBytes();
    if (got == 0) return EndBody();
    available_ -= std::min(available_, got);
    received_ += got;
    pace_.Count(got);
    std::memcpy(buffer, events_->block, got);
    return got;
  }

  std::optional<std::uint64_t> ContentLength() const override { return contentLength_; }

 private:
  bool Begin(const std::string& url) override {
    const InternetSession::Setup& setup = session_.Ready();
    const Address address = Split(url);
    connection_.reset(::WinHttpConnect(setup.handle.get(), address.host.c_str(), address.port, 0));
    if (!connection_) {
      error_ = ::GetLastError();
      return FailToConnect(Failure(FetchFailure::Kind::kConnect), LogText());
    }
    // A server whose certificate comes from an authority the system does not
    // know is asked again, accepting that authority, only when its
    // certificate chains to the session's extra authority (checked here and
    // then for every server the request reaches).
    for (bool acceptExtra : {false, true}) {
      if (acceptExtra && !(address.secure && setup.extraAuthorities && RefusedForAuthorityAlone() &&
                           ChainOf(request_.get(), static_cast<HCERTSTORE>(setup.extraAuthorities.get())) !=
                               Chain::kElsewhere))
        break;
      if (!OpenRequest(address, acceptExtra)) return false;
      if (Step(::WinHttpSendRequest(request_.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                                    0, context_)) &&
          Step(::WinHttpReceiveResponse(request_.get(), nullptr)))
        return Answered();
      if (aborted_ || ownFailure_.Failed() || !RefusedForAuthorityAlone()) break;
    }
    if (aborted_) return AbortStart();
    return FailToConnect(Failure(FetchFailure::Kind::kConnect), LogText());
  }

  // Opens the request and sets it up; false (logged) when it cannot be.
  bool OpenRequest(const Address& address, bool acceptExtra) {
    Close();
    const InternetSession::Setup& setup = session_.Ready();
    const FetchFailure notSetUp{FetchFailure::Kind::kNoSession, 0, "the request could not be set up"};
    request_.reset(::WinHttpOpenRequest(connection_.get(), L"GET", address.pathAndQuery.c_str(), nullptr,
                                        WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                        address.secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request_) return FailToConnect(notSetUp, NoRequestMessage());
    events_ = std::make_shared<Events>(static_cast<HCERTSTORE>(setup.extraAuthorities.get()));
    // The request's reference to the events, handed to the stack with the
    // handle and given back at its last callback (HANDLE_CLOSING).
    auto reference = std::make_unique<EventsReference>(events_);
    const DWORD_PTR context = reinterpret_cast<DWORD_PTR>(reference.get());
    if (!::WinHttpSetOption(request_.get(), WINHTTP_OPTION_CONTEXT_VALUE, const_cast<DWORD_PTR*>(&context),
                            sizeof context) ||
        ::WinHttpSetStatusCallback(request_.get(), &OnStatus, WINHTTP_CALLBACK_FLAG_ALL_NOTIFICATIONS, 0) ==
            WINHTTP_INVALID_STATUS_CALLBACK) {
      request_.reset();  // no callback will come: the reference ends here
      return FailToConnect(notSetUp, NoRequestMessage());
    }
    context_ = context;
    reference.release();  // now the stack's, until HANDLE_CLOSING

    const InternetSession::Options& options = session_.GetOptions();
    const int connectMs = static_cast<int>(std::min<long long>(options.connectTimeout.count(), INT_MAX));
    // The stall check here is exact; the stack's own receive time-out is
    // only the backstop, a little later.
    const int stallMs = static_cast<int>(std::min<long long>(options.stallTimeout.count() + 1000, INT_MAX));
    DWORD redirectPolicy = options.maxRedirects > 0 ? WINHTTP_OPTION_REDIRECT_POLICY_ALWAYS
                                                    : WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    DWORD maxRedirects = static_cast<DWORD>(std::max<long>(options.maxRedirects, 1));
    bool set = ::WinHttpSetTimeouts(request_.get(), connectMs, connectMs, stallMs, stallMs) &&
               ::WinHttpSetOption(request_.get(), WINHTTP_OPTION_REDIRECT_POLICY, &redirectPolicy,
                                  sizeof redirectPolicy) &&
               ::WinHttpSetOption(request_.get(), WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &maxRedirects,
                                  sizeof maxRedirects);
    if (set && acceptExtra) {
      DWORD security = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
      set = ::WinHttpSetOption(request_.get(), WINHTTP_OPTION_SECURITY_FLAGS, &security, sizeof security);
      std::lock_guard lock(events_->mutex);
      events_->checkAuthorities = true;
    }
    if (!set) return FailToConnect(notSetUp, SettingRefusedMessage());
    return true;
  }

  // The final response's headers are in: its status and length.
  bool Answered() {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!::WinHttpQueryHeaders(request_.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
      error_ = ::GetLastError();
      return FailToConnect(Failure(FetchFailure::Kind::kConnect), LogText());
    }
    DWORD headerBytes = 0;
    ::WinHttpQueryHeaders(request_.get(), WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                          WINHTTP_NO_OUTPUT_BUFFER, &headerBytes, WINHTTP_NO_HEADER_INDEX);
    pace_.Count(headerBytes / sizeof(wchar_t));
    wchar_t length[32];
    size = sizeof length;
    if (::WinHttpQueryHeaders(request_.get(), WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, length,
                              &size, WINHTTP_NO_HEADER_INDEX)) {
      const std::wstring_view digits(length, size / sizeof(wchar_t));
      if (!digits.empty() && digits.size() <= 19 &&
          std::all_of(digits.begin(), digits.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; })) {
        std::uint64_t value = 0;
        for (wchar_t c : digits) value = value * 10 + static_cast<std::uint64_t>(c - L'0');
        contentLength_ = value;
      }
    }
    // A redirect the stack hands over as the answer is one it did not follow:
    // none allowed, or to an address it will not go to (file://, another
    // scheme). Either is refused as a redirect past the limit is.
    DWORD locationBytes = 0;
    if (status / 100 == 3 &&
        ::WinHttpQueryHeaders(request_.get(), WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX,
                              WINHTTP_NO_OUTPUT_BUFFER, &locationBytes, WINHTTP_NO_HEADER_INDEX) == FALSE &&
        ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
      error_ = ERROR_WINHTTP_REDIRECT_FAILED;
      return FailToConnect(Failure(FetchFailure::Kind::kConnect), LogText());
    }
    return AcceptStatus(static_cast<long>(status));
  }

  // Waits for the step `started` (the stack's call that began it) to end.
  // True when it ended well; false when it failed (error_), or the transfer
  // was stopped or ended for its pace (the request then closed).
  bool Step(BOOL started) {
    if (!started) {
      error_ = ::GetLastError();
      Close();
      return false;
    }
    for (;;) {
      if (StopRequested()) {
        aborted_ = true;
        return End();
      }
      if (const auto tooSlow = pace_.TooSlow()) return End(*tooSlow);
      {
        const Clock::time_point entered = Clock::now();
        std::unique_lock lock(events_->mutex);
        if (!events_->completed) events_->changed.wait_for(lock, pace_.NextWait(kWaitSlice));
        pace_.AddWaited(Clock::now() - entered);
        if (events_->arrived) pace_.NoteArrival();
        events_->arrived = false;
        if (events_->authorityRefused) {
          secureFailure_ = WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA;
          error_ = ERROR_WINHTTP_SECURE_FAILURE;
          lock.unlock();
          Close();
          return false;
        }
        if (events_->redirectRefused) {
          error_ = ERROR_WINHTTP_REDIRECT_FAILED;
          lock.unlock();
          Close();
          return false;
        }
        if (events_->completed) {
          events_->completed = false;
          error_ = events_->error;
          secureFailure_ = events_->secureFailure;
          lastBytes_ = events_->bytes;
          lock.unlock();
          if (error_ == 0) return true;
          // The request stays open: the certificate check above asks it.
          return false;
        }
      }
      if (const auto stalled = pace_.Stalled()) return End(*stalled);
    }
  }

  DWORD LastBytes() const { return lastBytes_; }

  // Ends the transfer here: a stop request, or a pace verdict.
  bool End(const TransferPace::Verdict& verdict) {
    ownFailure_ = verdict.failure;
    ownLogText_ = verdict.logText;
    return End();
  }
  bool End() {
    Close();
    return false;
  }

  // Closes the request; a step in flight is cancelled, and its last
  // callbacks go to the events, which the stack keeps alive until then.
  void Close() {
    request_.reset();
    events_.reset();
    context_ = 0;
  }

  // True when the server's certificate was refused for its unknown
  // authority alone. A stack that reports a refused certificate as a plain
  // channel error, without the reasons (Wine's), counts too: the chain
  // check that follows decides either way.
  bool RefusedForAuthorityAlone() const {
    if (request_ == nullptr) return false;
    if (error_ == ERROR_WINHTTP_SECURE_FAILURE) return secureFailure_ == WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA;
    return error_ == ERROR_WINHTTP_SECURE_CHANNEL_ERROR && secureFailure_ == 0;
  }

  size_t EndBody() {
    ended_ = true;
    if (contentLength_ && received_ < *contentLength_) {
      const std::string text =
          "transfer closed with " + std::to_string(*contentLength_ - received_) + " bytes remaining to read";
      FailReading({FetchFailure::Kind::kBroken, 0, text}, text);
    }
    Close();
    return 0;
  }

  size_t FailBody() {
    ended_ = true;
    Close();
    FailReading(Failure(FetchFailure::Kind::kBroken), LogText());
    return 0;
  }

  // The failure that ended the transfer, `otherwise` when it is none of the
  // kinds told apart here.
  FetchFailure Failure(FetchFailure::Kind otherwise) const {
    if (aborted_) return {FetchFailure::Kind::kAborted, 0, ""};
    if (ownFailure_.Failed()) return ownFailure_;
    if (error_ == ERROR_WINHTTP_SECURE_FAILURE && (secureFailure_ & kCertificateFlags))
      return {FetchFailure::Kind::kCertificate, 0, CertificateReasons(secureFailure_)};
    // The stack's own receive time-out, the backstop, once the answer began.
    if (error_ == ERROR_WINHTTP_TIMEOUT && otherwise == FetchFailure::Kind::kBroken)
      return {FetchFailure::Kind::kStalled, 0, ErrorText(error_)};
    return {otherwise, 0, ErrorText(error_)};
  }

  // The log line for the failure (Shift-JIS).
  std::string LogText() const {
    if (!ownLogText_.empty()) return ownLogText_;
    if (error_ == ERROR_WINHTTP_SECURE_FAILURE && (secureFailure_ & kCertificateFlags))
      return PathForLog(CertificateReasons(secureFailure_));
    return PathForLog(ErrorText(error_));
  }

  InternetHandle connection_;
  InternetHandle request_;
  std::shared_ptr<Events> events_;
  DWORD_PTR context_ = 0;
  DWORD error_ = 0;
  DWORD secureFailure_ = 0;
  DWORD lastBytes_ = 0;
  // Bytes the stack said are ready and Read has not taken yet.
  DWORD available_ = 0;
  std::uint64_t received_ = 0;
  std::optional<std::uint64_t> contentLength_;
  bool ended_ = false;
  // Set when this class, not the stack, ended the transfer.
  FetchFailure ownFailure_;
  std::string ownLogText_;
};

}  // namespace

std::unique_ptr<InternetTransfer> InternetTransfer::Make(const InternetSession& session,
                                                         const std::atomic<bool>* running) {
  return std::make_unique<WindowsTransfer>(session, running);
}
