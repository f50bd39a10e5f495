#include "control/QueryPicture.h"

#include <cctype>
#include <chrono>

#include "control/ControlView.h"
#include "control/PictureBytes.h"
#include "infra/InternetFetch.h"
#include "infra/Log.h"
#include "infra/TextEncoding.h"

namespace {

// Progress lines are kept to a few a second: each one crosses to the UI thread.
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

}  // namespace

bool QueryPicture::IsLink(std::string_view text) {
  return StartsWithNoCase(text, "http://") || StartsWithNoCase(text, "https://");
}

QueryPicture::Outcome QueryPicture::Download(const std::string& url, const OperationContext& context) {
  static const SjisText kDownloading{u8"画像をダウンロード中..."};
  static const SjisText kBytes{u8" バイト"};
  ControlView& view = context.view;
  view.SetStatusText(kDownloading.str());
  auto lastShown = std::chrono::steady_clock::time_point{};
  const InternetFetch fetch = InternetFetch::Get(
      url, context.session, kMaxBytes, &context.running,
      [&](std::uint64_t bytes, std::optional<std::uint64_t> total) {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastShown < kProgressInterval && (!total || bytes < *total)) return;
        lastShown = now;
        std::string text = kDownloading.str() + "\n" + std::to_string(bytes);
        if (total) text += " / " + std::to_string(*total);
        view.SetStatusText(text + kBytes);
      });
  context.running.store(false);
  failure_ = fetch.failure;
  Outcome outcome = Outcome::kNoAnswer;
  switch (fetch.outcome) {
    case InternetFetch::Outcome::kOk:
      outcome = Keep(fetch.body);
      break;
    case InternetFetch::Outcome::kNoAnswer:
      outcome = Outcome::kNoAnswer;
      break;
    case InternetFetch::Outcome::kBroken:
      outcome = Outcome::kBroken;
      break;
    case InternetFetch::Outcome::kTooLarge:
      outcome = Outcome::kTooLarge;
      break;
    case InternetFetch::Outcome::kAborted:
      outcome = Outcome::kAborted;
      break;
  }
  if (outcome != Outcome::kOk) {
    static const SjisText kLink{u8" : リンク "};
    std::string text = StatusText(outcome, failure_);
    if (const size_t newline = text.find('\n'); newline != std::string::npos) text.replace(newline, 1, " : ");
    WriteLog("QueryPicture::Download() : " + text + kLink.str() + PathForLog(url));
  }
  return outcome;
}

QueryPicture::Outcome QueryPicture::Keep(const std::string& bytes) {
  // Named by its content, since the preview and the decoders go by it too.
  const std::string extension = PictureExtension(bytes);
  if (extension.empty()) return Outcome::kNotAPicture;
  if (!directory_) directory_.emplace();
  if (!directory_->Ok()) return Outcome::kNoTemporary;
  path_ = directory_->WriteFile("picture" + extension, bytes);
  return path_.empty() ? Outcome::kNoTemporary : Outcome::kOk;
}

std::string QueryPicture::StatusText(Outcome outcome) {
  static const SjisText kNoAnswer{u8"画像のダウンロードに失敗しました"};
  static const SjisText kBroken{u8"画像のダウンロードが途中で途切れました"};
  static const SjisText kTooLarge{u8"画像が大きすぎます(64MBまで)"};
  static const SjisText kAborted{u8"画像のダウンロードを中止しました"};
  static const SjisText kNotAPicture{u8"画像ではありません"};
  static const SjisText kNoTemporary{u8"一時ファイルを作成できませんでした"};
  switch (outcome) {
    case Outcome::kOk:
      return {};
    case Outcome::kNoAnswer:
      return kNoAnswer.str();
    case Outcome::kBroken:
      return kBroken.str();
    case Outcome::kTooLarge:
      return kTooLarge.str();
    case Outcome::kAborted:
      return kAborted.str();
    case Outcome::kNotAPicture:
      return kNotAPicture.str();
    case Outcome::kNoTemporary:
      return kNoTemporary.str();
  }
  return {};
}

std::string QueryPicture::StatusText(Outcome outcome, const FetchFailure& failure) {
  using Kind = FetchFailure::Kind;
  const std::string text = StatusText(outcome);
  if (outcome != Outcome::kNoAnswer && outcome != Outcome::kBroken) return text;
  static const SjisText kRefused{u8"このリンクは使えません"};
  static const SjisText kNoSession{u8"HTTPライブラリを使用できません"};
  static const SjisText kConnect{u8"サーバーに接続できませんでした"};
  static const SjisText kCertificate{u8"サーバーの証明書を確認できませんでした"};
  static const SjisText kStatus{u8"サーバーの応答 HTTP "};
  static const SjisText kStalled{u8"サーバーからデータが届かなくなりました"};
  static const SjisText kTooSlow{u8"転送が遅すぎるため中断しました"};
  std::string reason;
  switch (failure.kind) {
    case Kind::kRefusedAddress:
      reason = kRefused.str();
      break;
    case Kind::kNoSession:
      reason = kNoSession.str();
      break;
    case Kind::kConnect:
      reason = kConnect.str();
      break;
    case Kind::kCertificate:
      reason = kCertificate.str();
      break;
    case Kind::kHttpStatus:
      reason = kStatus.str() + std::to_string(failure.status);
      break;
    case Kind::kStalled:
      reason = kStalled.str();
      break;
    case Kind::kTooSlow:
      reason = kTooSlow.str();
      break;
    case Kind::kNone:
    case Kind::kTooLarge:
    case Kind::kBroken:
    case Kind::kAborted:
      break;
  }
  if (!failure.detail.empty()) reason += (reason.empty() ? "" : " ") + ("(" + Utf8ToCp932(failure.detail) + ")");
  return reason.empty() ? text : text + "\n" + reason;
}
