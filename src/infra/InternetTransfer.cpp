#include "infra/InternetTransfer.h"

#include <cctype>
#include <string_view>

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

}  // namespace

const std::string& InternetTransfer::NoRequestMessage() {
  static const SjisText text{u8"InternetFile::InternetFile() : リクエストを開始できませんでした"};
  return text;
}

const std::string& InternetTransfer::SettingRefusedMessage() {
  static const SjisText text{u8"InternetFile::InternetFile() : リクエストの設定に失敗しました"};
  return text;
}

InternetTransfer::InternetTransfer(const InternetSession& session, const std::atomic<bool>* running)
    : session_(session), pace_(session.GetOptions()), running_(running) {}

InternetTransfer::~InternetTransfer() = default;

bool InternetTransfer::Start(const std::string& url) {
  std::string refusal;
  const std::optional<std::string> normalized = NormalizeHttpUrl(url, refusal);
  if (!normalized) {
    failure_ = {FetchFailure::Kind::kRefusedAddress, 0, refusal};
    WriteLog(ParseErrorMessage() + PathForLog(url));
    return false;
  }
  // The session sets its back end up here, at its first request.
  if (!session_.IsValid()) {
    return FailToConnect({FetchFailure::Kind::kNoSession, 0, Cp932ToUtf8(session_.FailureForLog())},
                         NoSessionMessage() + " : " + session_.FailureForLog());
  }
  // A flag cleared before the start sends nothing.
  if (StopRequested()) return AbortStart();
  pace_.NoteArrival();
  return Begin(*normalized);
}

bool InternetTransfer::AcceptStatus(long status) {
  if (status != 200) failure_ = {FetchFailure::Kind::kHttpStatus, status, ""};
  return status == 200;
}

bool InternetTransfer::AbortStart() {
  aborted_ = true;
  failure_ = {FetchFailure::Kind::kAborted, 0, ""};
  WriteLog(ConnectAbortedMessage());
  return false;
}

bool InternetTransfer::FailToConnect(const FetchFailure& failure, const std::string& errorText) {
  failure_ = failure;
  WriteLog(ConnectErrorMessage());
  WriteLog(errorText);
  return false;
}

void InternetTransfer::FailReading(const FetchFailure& failure, const std::string& errorText) {
  if (failed_) return;
  failed_ = true;
  failure_ = failure;
  if (aborted_) {
    WriteLog(ReadAbortedMessage());
  } else {
    WriteLog(ReadErrorMessage());
    WriteLog(errorText);
  }
}
