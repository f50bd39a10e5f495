#include "infra/InternetTransfer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cctype>
#include <cstring>
#include <optional>
#include <string_view>

#include "infra/CurlLibrary.h"
#include "infra/InternetFile.h"
#include "infra/InternetSession.h"
#include "infra/InternetSessionSetup.h"

namespace {

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

// The library's results that mean the server's certificate was refused.
bool IsCertificateError(CURLcode code) {
  return code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CERTPROBLEM ||
         code == CURLE_SSL_CACERT_BADFILE || code == CURLE_SSL_ISSUER_ERROR ||
         code == CURLE_SSL_PINNEDPUBKEYNOTMATCH;
}

// One transfer on its own multi handle, driven only from the owner's calls, so
// the body is pulled at the reader's pace: the write callback pauses the
// transfer once a block is buffered, and Read resumes it.
class CurlTransfer final : public InternetTransfer {
 public:
  CurlTransfer(const InternetSession& session, const std::atomic<bool>* running) : InternetTransfer(session, running) {}

  ~CurlTransfer() override {
    if (added_) curl_->multiRemoveHandle(multi_.get(), easy_.get());
  }

  size_t Read(char* buffer) override {
    while (Pending() == 0 && !done_) {
      if (paused_) {
        paused_ = false;
        pace_.NoteArrival();
        // May hand over the held-back data at once, through OnWrite.
        curl_->easyPause(easy_.get(), CURLPAUSE_CONT);
        if (Pending() > 0) break;
      }
      Step(/*untilHeaders=*/false);
    }
    if (Pending() > 0) {
      const size_t count = std::min(Pending(), InternetFile::kBlockSize);
      std::memcpy(buffer, pending_.data() + offset_, count);
      offset_ += count;
      if (offset_ == pending_.size()) {
        pending_.clear();
        offset_ = 0;
      }
      return count;
    }
    if (result_ != CURLE_OK) FailReading(FailureOf(FetchFailure::Kind::kBroken), ErrorText());
    return 0;
  }

  std::optional<std::uint64_t> ContentLength() const override {
    curl_off_t length = -1;
    if (!easy_ || curl_->easyGetinfo(easy_.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK ||
        length < 0)
      return std::nullopt;
    return static_cast<std::uint64_t>(length);
  }

 private:
  bool Begin(const std::string& url) override {
    const CurlLibrary* library = session_.Ready().library;
    curl_ = library->Functions();
    easy_ = EasyHandle(curl_->easyInit(), EasyCleanup{curl_->easyCleanup});
    multi_ = MultiHandle(curl_->multiInit(), MultiCleanup{curl_->multiCleanup});
    const FetchFailure notSetUp{FetchFailure::Kind::kNoSession, 0, "the request could not be set up"};
    if (!easy_ || !multi_) return FailToConnect(notSetUp, NoRequestMessage());
    if (!Configure(url)) return FailToConnect(notSetUp, SettingRefusedMessage());
    if (curl_->multiAddHandle(multi_.get(), easy_.get()) != CURLM_OK)
      return FailToConnect(notSetUp, NoRequestMessage());
    added_ = true;

    pace_.NoteArrival();
    while (!headersDone_ && !done_) Step(/*untilHeaders=*/true);

    if (aborted_) return AbortStart();
    if (!headersDone_ && result_ != CURLE_OK)
      return FailToConnect(FailureOf(FetchFailure::Kind::kConnect), ErrorText());
    long status = 0;
    curl_->easyGetinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &status);
    return AcceptStatus(status);
  }

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
           curl_->easySetopt(easy, CURLOPT_XFERINFOFUNCTION, &CurlTransfer::OnProgress) == CURLE_OK &&
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
           curl_->easySetopt(easy, CURLOPT_WRITEFUNCTION, &CurlTransfer::OnWrite) == CURLE_OK &&
           curl_->easySetopt(easy, CURLOPT_WRITEDATA, this) == CURLE_OK &&
           curl_->easySetopt(easy, CURLOPT_HEADERFUNCTION, &CurlTransfer::OnHeader) == CURLE_OK &&
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
    if (const auto tooSlow = pace_.TooSlow()) {
      EndByOwnVerdict(*tooSlow);
      return;
    }
    // Only the time spent here, waiting for the server, counts towards the
    // speed window; the time between the reader's calls does not.
    const auto entered = std::chrono::steady_clock::now();
    struct AddWaited {
      TransferPace& pace;
      std::chrono::steady_clock::time_point entered;
      ~AddWaited() { pace.AddWaited(std::chrono::steady_clock::now() - entered); }
    } addWaited{pace_, entered};
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
    if (const auto stalled = pace_.Stalled()) {
      EndByOwnVerdict(*stalled);
      return;
    }
    // The library shortens the wait further to its own next time-out (connect).
    const int wait = static_cast<int>(pace_.NextWait(kWaitSlice).count());
    const CURLMcode polled = curl_->multiPoll(multi_.get(), nullptr, 0, wait, nullptr);
    if (polled != CURLM_OK) Finish(CURLE_RECV_ERROR, curl_->multiStrerror(polled));
  }

  // Ends the transfer for a reason of this class's own, not the library's.
  void EndByOwnVerdict(const TransferPace::Verdict& verdict) {
    ownFailure_ = verdict.failure;
    Finish(CURLE_OPERATION_TIMEDOUT, verdict.logText);
  }

  // The failure that ended the transfer, `otherwise` when it was none of
  // the kinds told apart here.
  FetchFailure FailureOf(FetchFailure::Kind otherwise) const {
    if (aborted_) return {FetchFailure::Kind::kAborted, 0, ""};
    if (ownFailure_.Failed()) return ownFailure_;
    const std::string libraryText = errorBuffer_[0] != '\0' ? errorBuffer_ : curl_->easyStrerror(result_);
    if (IsCertificateError(result_)) return {FetchFailure::Kind::kCertificate, 0, libraryText};
    // The library's own low-speed backstop after the answer began.
    if (result_ == CURLE_OPERATION_TIMEDOUT && headersDone_) return {FetchFailure::Kind::kStalled, 0, libraryText};
    return {otherwise, 0, libraryText};
  }

  static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<CurlTransfer*>(self)->StopRequested() ? 1 : 0;
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

  size_t Pending() const { return pending_.size() - offset_; }

  static size_t OnWrite(char* data, size_t size, size_t count, void* self) {
    auto* transfer = static_cast<CurlTransfer*>(self);
    // Bodies of followed redirects are dropped by the library, so body bytes
    // belong to the final response.
    transfer->headersDone_ = true;
    if (transfer->Pending() >= InternetFile::kBlockSize) {
      transfer->paused_ = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    if (transfer->offset_ > 0) {
      transfer->pending_.erase(0, transfer->offset_);
      transfer->offset_ = 0;
    }
    transfer->pending_.append(data, size * count);
    transfer->pace_.Count(size * count);
    return size * count;
  }

  static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* transfer = static_cast<CurlTransfer*>(self);
    const std::string_view line(data, size * count);
    transfer->pace_.Count(line.size());
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

  // The library's functions; set once the session gave a loaded library.
  const CurlFunctions* curl_ = nullptr;
  MultiHandle multi_;
  EasyHandle easy_;
  bool added_ = false;
  char errorBuffer_[CURL_ERROR_SIZE] = {};
  std::string ownErrorText_;
  // Set when this class, not the library, ended the transfer.
  FetchFailure ownFailure_;

  bool redirecting_ = false;
  bool headersDone_ = false;
  bool paused_ = false;
  bool done_ = false;
  CURLcode result_ = CURLE_OK;

  // Body bytes received and not yet read: pending_[offset_..]. Stays under
  // one block plus one delivery from the library.
  std::string pending_;
  size_t offset_ = 0;
};

}  // namespace

std::unique_ptr<InternetTransfer> InternetTransfer::Make(const InternetSession& session,
                                                         const std::atomic<bool>* running) {
  return std::make_unique<CurlTransfer>(session, running);
}
