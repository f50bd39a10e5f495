#include "infra/InternetFile.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cctype>
#include <cstring>
#include <optional>

#include "infra/CurlLibrary.h"
#include "infra/InternetSession.h"
#include "infra/Log.h"
#include "infra/TextEncoding.h"

namespace {

const std::string& ParseErrorMessage() {
  static const SjisText text{u8"InternetFile::InternetFile() : URLパースエラー : "};
  return text;
}
const std::string& ConnectErrorMessage() {
  static const SjisText text{u8"InternetFile::InternetFile() : インターネット接続例外キャッチ"};
  return text;
}
// Failures of this class's own (not the library's), as the line after the
// connection failure's.
const std::string& NoSessionMessage() {
  static const SjisText text{u8"InternetFile::InternetFile() : HTTPセッションが使用できません"};
  return text;
}
const std::string& NoRequestMessage() {
  static const SjisText text{u8"InternetFile::InternetFile() : リクエストを開始できませんでした"};
  return text;
}
const std::string& SettingRefusedMessage() {
  static const SjisText text{u8"InternetFile::InternetFile() : リクエストの設定に失敗しました"};
  return text;
}
const std::string& ReadErrorMessage() {
  static const SjisText text{u8"InternetFile::Read() : インターネット接続例外キャッチ"};
  return text;
}
const std::string& ConnectAbortedMessage() {
  static const SjisText text{u8"InternetFile::InternetFile() : 転送を中止しました"};
  return text;
}
const std::string& ReadAbortedMessage() {
  static const SjisText text{u8"InternetFile::Read() : 転送を中止しました"};
  return text;
}

// How long one wait for the socket lasts at most: a stop request is seen
// within this time (plus one round of the library's work).
constexpr int kWaitSliceMs = 100;

// The handles' deleters call through the loaded library.
struct EasyCleanup {
  decltype(&curl_easy_cleanup) cleanup = nullptr;
  void operator()(CURL* easy) const { cleanup(easy); }
};
struct MultiCleanup {
  decltype(&curl_multi_cleanup) cleanup = nullptr;
  void operator()(CURLM* multi) const { cleanup(multi); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;
using MultiHandle = std::unique_ptr<CURLM, MultiCleanup>;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

bool IsHostByte(unsigned char c) { return std::isalnum(c) || c == '-' || c == '.' || c == '_'; }

// Checks an http or https URL and returns it in the form handed to the HTTP
// library: scheme lowered, host and port as given, path and query with spaces
// and bytes outside ASCII percent-encoded, fragment dropped. Nothing, with
// the reason in `reason` (English), when the URL is not
// "http[s]://host[:port][/path][?query]" or holds control bytes.
std::optional<std::string> NormalizeHttpUrl(const std::string& url, std::string& reason) {
  const auto refuse = [&reason](const char* why) -> std::optional<std::string> {
    reason = why;
    return std::nullopt;
  };
  std::string_view scheme;
  for (std::string_view known : {"http://", "https://"}) {
    if (StartsWithNoCase(url, known)) scheme = known;
  }
  if (scheme.empty()) return refuse("not an http:// or https:// address");
  const size_t hostStart = scheme.size();
  size_t authorityEnd = url.find_first_of("/?#", hostStart);
  if (authorityEnd == std::string::npos) authorityEnd = url.size();
  const std::string authority = url.substr(hostStart, authorityEnd - hostStart);
  if (authority.find('@') != std::string::npos) return refuse("a user name or password in the address");

  std::string host = authority;
  std::string port;
  if (!authority.empty() && authority.front() == '[') {  // [IPv6]:port
    const size_t close = authority.find(']');
    if (close == std::string::npos || close == 1) return refuse("a malformed [IPv6] host");
    for (size_t i = 1; i < close; ++i) {
      const unsigned char c = authority[i];
      if (!std::isxdigit(c) && c != ':' && c != '.') return refuse("a malformed [IPv6] host");
    }
    host = authority.substr(0, close + 1);
    const std::string rest = authority.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return refuse("a malformed [IPv6] host");
      port = rest.substr(1);
      if (port.empty()) return refuse("an empty port number");
    }
  } else {
    const size_t colon = authority.find(':');
    if (colon != std::string::npos) {
      host = authority.substr(0, colon);
      port = authority.substr(colon + 1);
      if (port.empty()) return refuse("an empty port number");
    }
    if (host.empty()) return refuse("no host name");
    for (unsigned char c : host) {
      if (c >= 0x80) return refuse("a host name with letters outside ASCII (write it in its xn-- form)");
      if (!IsHostByte(c)) return refuse("a host name with characters a host name cannot hold");
    }
  }
  if (!port.empty()) {
    if (port.size() > 5) return refuse("a port number outside 1-65535");
    for (unsigned char c : port) {
      if (!std::isdigit(c)) return refuse("a port that is not a number");
    }
    const int number = std::stoi(port);
    if (number < 1 || number > 65535) return refuse("a port number outside 1-65535");
  }

  std::string rest = url.substr(authorityEnd);
  const size_t fragment = rest.find('#');
  if (fragment != std::string::npos) rest.resize(fragment);
  std::string normalized = std::string(scheme) + host + (port.empty() ? "" : ":" + port);
  if (rest.empty() || rest.front() == '?') normalized += '/';
  static const char kHex[] = "0123456789ABCDEF";
  for (unsigned char c : rest) {
    if (c < 0x20 || c == 0x7f) return refuse("a control character in the address");
    if (c == ' ' || c >= 0x80) {
      normalized += '%';
      normalized += kHex[c >> 4];
      normalized += kHex[c & 0x0f];
    } else {
      normalized += static_cast<char>(c);
    }
  }
  return normalized;
}

// The library's results that mean the server's certificate was refused.
bool IsCertificateError(CURLcode code) {
  return code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CERTPROBLEM ||
         code == CURLE_SSL_CACERT_BADFILE || code == CURLE_SSL_ISSUER_ERROR ||
         code == CURLE_SSL_PINNEDPUBKEYNOTMATCH;
}

}  // namespace

// One transfer on its own multi handle, driven only from the owner's calls, so
// the body is pulled at the reader's pace: the write callback pauses the
// transfer once a block is buffered, and Read resumes it.
class InternetFile::Transfer {
 public:
  Transfer(const InternetSession& session, const std::atomic<bool>* running)
      : session_(session), running_(running) {}

  ~Transfer() {
    if (added_) curl_->multiRemoveHandle(multi_.get(), easy_.get());
  }

  // Sends the request and runs until the final response's headers are in or
  // the transfer has ended. False (logged) when no usable answer came.
  bool Start(const std::string& url) {
    std::string refusal;
    const std::optional<std::string> normalized = NormalizeHttpUrl(url, refusal);
    if (!normalized) {
      failure_ = {FetchFailure::Kind::kRefusedAddress, 0, refusal};
      WriteLog(ParseErrorMessage() + PathForLog(url));
      return false;
    }
    // The session loads the HTTP library here, at its first request.
    const CurlLibrary* library = session_.Library();
    if (!library) {
      failure_ = {FetchFailure::Kind::kNoSession, 0, Cp932ToUtf8(session_.FailureForLog())};
      return FailToConnect(NoSessionMessage() + " : " + session_.FailureForLog());
    }
    curl_ = library->Functions();
    easy_ = EasyHandle(curl_->easyInit(), EasyCleanup{curl_->easyCleanup});
    multi_ = MultiHandle(curl_->multiInit(), MultiCleanup{curl_->multiCleanup});
    failure_ = {FetchFailure::Kind::kNoSession, 0, "the request could not be set up"};
    if (!easy_ || !multi_) return FailToConnect(NoRequestMessage());
    if (!Configure(*normalized)) return FailToConnect(SettingRefusedMessage());
    if (curl_->multiAddHandle(multi_.get(), easy_.get()) != CURLM_OK)
      return FailToConnect(NoRequestMessage());
    added_ = true;
    failure_ = {};

    NoteProgress();
    while (!headersDone_ && !done_) Step(/*untilHeaders=*/true);

    if (aborted_) {
      failure_ = {FetchFailure::Kind::kAborted, 0, ""};
      WriteLog(ConnectAbortedMessage());
      return false;
    }
    if (!headersDone_ && result_ != CURLE_OK) {
      failure_ = FailureOf(FetchFailure::Kind::kConnect);
      return FailToConnect(ErrorText());
    }
    long status = 0;
    curl_->easyGetinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &status);
    // Not logged: a missing page is an everyday answer (the generation run
    // meets many); callers that show it log it with what they were fetching.
    if (status != 200) failure_ = {FetchFailure::Kind::kHttpStatus, status, ""};
    return status == 200;
  }

  size_t Read(char* buffer) {
    while (Pending() == 0 && !done_) {
      if (paused_) {
        paused_ = false;
        NoteProgress();
        // May hand over the held-back data at once, through OnWrite.
        curl_->easyPause(easy_.get(), CURLPAUSE_CONT);
        if (Pending() > 0) break;
      }
      Step(/*untilHeaders=*/false);
    }
    if (Pending() > 0) {
      const size_t count = std::min(Pending(), kBlockSize);
      std::memcpy(buffer, pending_.data() + offset_, count);
      offset_ += count;
      if (offset_ == pending_.size()) {
        pending_.clear();
        offset_ = 0;
      }
      return count;
    }
    if (result_ != CURLE_OK && !failed_) {
      failed_ = true;
      failure_ = FailureOf(FetchFailure::Kind::kBroken);
      if (aborted_) {
        WriteLog(ReadAbortedMessage());
      } else {
        WriteLog(ReadErrorMessage());
        WriteLog(ErrorText());
      }
    }
    return 0;
  }

  bool Failed() const { return failed_; }
  bool Aborted() const { return aborted_; }
  const FetchFailure& Failure() const { return failure_; }

  std::optional<std::uint64_t> ContentLength() const {
    curl_off_t length = -1;
    if (!easy_ || curl_->easyGetinfo(easy_.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK ||
        length < 0)
      return std::nullopt;
    return static_cast<std::uint64_t>(length);
  }

 private:
  bool Configure(const std::string& url) {
    const InternetSession::Options& options = session_.GetOptions();
    // Whole seconds are the stall check's unit; round up so that a short
    // setting still leaves at least one second.
    const long stallSeconds =
        std::max<long>(1, static_cast<long>((options.stallTimeout.count() + 999) / 1000));
    CURL* easy = easy_.get();
    errorBuffer_[0] = '\0';
    // Certificates are always checked: against the system's store, plus the
    // session's extra authority when it has one (the bundle then holds both).
    const std::string& bundle = session_.CertificateBundle();
    if (!bundle.empty()) {
      curl_blob blob{const_cast<char*>(bundle.data()), bundle.size(), CURL_BLOB_NOCOPY};
      if (curl_->easySetopt(easy, CURLOPT_CAINFO_BLOB, &blob) != CURLE_OK) return false;
    }
    return curl_->easySetopt(easy, CURLOPT_ERRORBUFFER, errorBuffer_) == CURLE_OK &&
           curl_->easySetopt(easy, CURLOPT_URL, url.c_str()) == CURLE_OK &&
           curl_->easySetopt(easy, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
           curl_->easySetopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK &&
           curl_->easySetopt(easy, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
           curl_->easySetopt(easy, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
           // The library's progress call comes during its own work too, so
           // a stop request is seen even inside one long round.
           curl_->easySetopt(easy, CURLOPT_NOPROGRESS, 0L) == CURLE_OK &&
           curl_->easySetopt(easy, CURLOPT_XFERINFOFUNCTION, &Transfer::OnProgress) == CURLE_OK &&
           curl_->easySetopt(easy, CURLOPT_XFERINFODATA, this) == CURLE_OK &&
           curl_->easySetopt(easy, CURLOPT_HTTPGET, 1L) == CURLE_OK &&
           curl_->easySetopt(easy, CURLOPT_USERAGENT, session_.AgentName().c_str()) == CURLE_OK &&
           curl_->easySetopt(easy, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
           curl_->easySetopt(easy, CURLOPT_MAXREDIRS, options.maxRedirects) == CURLE_OK &&
           curl_->easySetopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
           curl_->easySetopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                            static_cast<long>(options.connectTimeout.count())) == CURLE_OK &&
           // CURLOPT_TIMEOUT would also count the time the reader keeps the
           // transfer paused. The library's low-speed check averages over
           // several seconds, so Step measures the stall and the speed
           // itself; this is the backstop.
           curl_->easySetopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK &&
           curl_->easySetopt(easy, CURLOPT_LOW_SPEED_TIME, stallSeconds) == CURLE_OK &&
           curl_->easySetopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::OnWrite) == CURLE_OK &&
           curl_->easySetopt(easy, CURLOPT_WRITEDATA, this) == CURLE_OK &&
           curl_->easySetopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader) == CURLE_OK &&
           curl_->easySetopt(easy, CURLOPT_HEADERDATA, this) == CURLE_OK;
  }

  // One round of work: let the library run, note a finished transfer, and
  // wait for the socket when nothing the caller waits for has happened.
  void Step(bool untilHeaders) {
    if (StopRequested()) {
      aborted_ = true;
      Finish(CURLE_ABORTED_BY_CALLBACK, "stopped");
      return;
    }
    if (TooSlow()) return;
    // Only the time spent here, waiting for the server, counts towards the
    // speed window; the time between the reader's calls does not.
    const auto entered = std::chrono::steady_clock::now();
    struct AddWaited {
      Transfer& transfer;
      std::chrono::steady_clock::time_point entered;
      ~AddWaited() { transfer.waited_ += std::chrono::steady_clock::now() - entered; }
    } addWaited{*this, entered};
    int running = 0;
    const CURLMcode code = curl_->multiPerform(multi_.get(), &running);
    if (code != CURLM_OK) {
      Finish(CURLE_RECV_ERROR, curl_->multiStrerror(code));
      return;
    }
    int queued = 0;
    while (CURLMsg* message = curl_->multiInfoRead(multi_.get(), &queued)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == easy_.get()) {
        if (message->data.result == CURLE_ABORTED_BY_CALLBACK) aborted_ = true;
        Finish(message->data.result, "");
      }
    }
    if (done_ || Pending() > 0 || paused_ || (untilHeaders && headersDone_)) return;
    const auto stall = session_.GetOptions().stallTimeout;
    const auto silent = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - lastProgress_);
    if (silent >= stall) {
      static const SjisText kStalled{u8"InternetFile::Transfer::Step() : データが届かないため中断しました "};
      static const SjisText kMilliseconds{u8"ミリ秒"};
      ownKind_ = FetchFailure::Kind::kStalled;
      ownDetail_ = "nothing arrived for " + std::to_string(silent.count()) + " ms";
      Finish(CURLE_OPERATION_TIMEDOUT, kStalled + std::to_string(silent.count()) + kMilliseconds);
      return;
    }
    // The library shortens the wait further to its own next time-out (connect).
    const int wait = static_cast<int>(std::min<long long>(kWaitSliceMs, (stall - silent).count()));
    const CURLMcode polled = curl_->multiPoll(multi_.get(), nullptr, 0, wait, nullptr);
    if (polled != CURLM_OK) Finish(CURLE_RECV_ERROR, curl_->multiStrerror(polled));
  }

  void NoteProgress() { lastProgress_ = std::chrono::steady_clock::now(); }

  // Ends the transfer when a speed window of waiting has passed with fewer
  // bytes than the session asks for, else starts the next window once one
  // has passed. True when it ended the transfer.
  bool TooSlow() {
    const InternetSession::Options& options = session_.GetOptions();
    if (options.speedWindowBytes == 0 || waited_ - windowStart_ < options.speedWindow) return false;
    if (windowBytes_ >= options.speedWindowBytes) {
      windowStart_ = waited_;
      windowBytes_ = 0;
      return false;
    }
    const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(waited_ - windowStart_).count();
    static const SjisText kTooSlow{u8"InternetFile::Transfer::Step() : 転送が遅すぎるため中断しました "};
    static const SjisText kBytes{u8"バイト/"};
    static const SjisText kMilliseconds{u8"ミリ秒"};
    ownKind_ = FetchFailure::Kind::kTooSlow;
    ownDetail_ = std::to_string(windowBytes_) + " bytes in " + std::to_string(ms) + " ms, fewer than " +
                 std::to_string(options.speedWindowBytes);
    Finish(CURLE_OPERATION_TIMEDOUT, kTooSlow + std::to_string(windowBytes_) + kBytes + std::to_string(ms) +
                                         kMilliseconds);
    return true;
  }

  // The failure that ended the transfer, `otherwise` when it was none of
  // the kinds told apart here.
  FetchFailure FailureOf(FetchFailure::Kind otherwise) const {
    if (aborted_) return {FetchFailure::Kind::kAborted, 0, ""};
    if (ownKind_ != FetchFailure::Kind::kNone) return {ownKind_, 0, ownDetail_};
    const std::string libraryText = errorBuffer_[0] != '\0' ? errorBuffer_ : curl_->easyStrerror(result_);
    if (IsCertificateError(result_)) return {FetchFailure::Kind::kCertificate, 0, libraryText};
    // The library's own low-speed backstop after the answer began.
    if (result_ == CURLE_OPERATION_TIMEDOUT && headersDone_) return {FetchFailure::Kind::kStalled, 0, libraryText};
    return {otherwise, 0, libraryText};
  }

  bool StopRequested() const { return running_ && !running_->load(); }

  static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(self)->StopRequested() ? 1 : 0;
  }

  // `ownError` is the error text when the failure is not the library's own.
  void Finish(CURLcode result, const std::string& ownError) {
    done_ = true;
    result_ = result;
    if (!ownError.empty()) ownErrorText_ = ownError;
  }

  std::string ErrorText() const {
    if (!ownErrorText_.empty()) return ownErrorText_;
    if (errorBuffer_[0] != '\0') return errorBuffer_;
    return curl_->easyStrerror(result_);
  }

  bool FailToConnect(const std::string& errorText) {
    WriteLog(ConnectErrorMessage());
    WriteLog(errorText);
    return false;
  }

  size_t Pending() const { return pending_.size() - offset_; }

  static size_t OnWrite(char* data, size_t size, size_t count, void* self) {
    auto* transfer = static_cast<Transfer*>(self);
    // Bodies of followed redirects are dropped by the library, so body bytes
    // belong to the final response.
    transfer->headersDone_ = true;
    if (transfer->Pending() >= kBlockSize) {
      transfer->paused_ = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    if (transfer->offset_ > 0) {
      transfer->pending_.erase(0, transfer->offset_);
      transfer->offset_ = 0;
    }
    transfer->pending_.append(data, size * count);
    transfer->windowBytes_ += size * count;
    transfer->NoteProgress();
    return size * count;
  }

  static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* transfer = static_cast<Transfer*>(self);
    const std::string_view line(data, size * count);
    transfer->windowBytes_ += line.size();
    transfer->NoteProgress();
    if (StartsWithNoCase(line, "http/")) {
      transfer->redirecting_ = false;
    } else if (StartsWithNoCase(line, "location:")) {
      transfer->redirecting_ = true;
    } else if (line == "\r\n" || line == "\n") {
      long status = 0;
      transfer->curl_->easyGetinfo(transfer->easy_.get(), CURLINFO_RESPONSE_CODE, &status);
      const bool interim = status < 200;
      const bool followed = status / 100 == 3 && transfer->redirecting_;
      if (!interim && !followed) transfer->headersDone_ = true;
    }
    return size * count;
  }

  const InternetSession& session_;
  const std::atomic<bool>* running_;
  // The library's functions; set once the session gave a loaded library.
  const CurlFunctions* curl_ = nullptr;
  MultiHandle multi_;
  EasyHandle easy_;
  bool added_ = false;
  char errorBuffer_[CURL_ERROR_SIZE] = {};
  std::string ownErrorText_;
  std::chrono::steady_clock::time_point lastProgress_;
  // The speed check: time spent waiting for the server, where the current
  // window began on that count, and the bytes received since.
  std::chrono::steady_clock::duration waited_{};
  std::chrono::steady_clock::duration windowStart_{};
  std::uint64_t windowBytes_ = 0;
  // Set when this class, not the library, ended the transfer.
  FetchFailure::Kind ownKind_ = FetchFailure::Kind::kNone;
  std::string ownDetail_;
  FetchFailure failure_;

  bool redirecting_ = false;
  bool headersDone_ = false;
  bool paused_ = false;
  bool done_ = false;
  bool failed_ = false;
  bool aborted_ = false;
  CURLcode result_ = CURLE_OK;

  // Body bytes received and not yet read: pending_[offset_..]. Stays under
  // one block plus one delivery from the library.
  std::string pending_;
  size_t offset_ = 0;
};

InternetFile::InternetFile(const std::string& url, const InternetSession& session,
                           const std::atomic<bool>* running)
    : transfer_(std::make_unique<Transfer>(session, running)) {
  ok_ = transfer_->Start(url);
}

InternetFile::~InternetFile() = default;

bool InternetFile::IsOk() const { return ok_; }

size_t InternetFile::Read(char* buffer) { return ok_ ? transfer_->Read(buffer) : 0; }

bool InternetFile::Failed() const { return transfer_->Failed(); }

bool InternetFile::Aborted() const { return transfer_->Aborted(); }

const FetchFailure& InternetFile::Failure() const { return transfer_->Failure(); }

std::optional<std::uint64_t> InternetFile::ContentLength() const {
  return ok_ ? transfer_->ContentLength() : std::nullopt;
}
