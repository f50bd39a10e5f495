#include "cachebuild/MakeCache.h"

#include <algorithm>
#include <cstdint>

#include "infra/Environment.h"
#include "infra/Log.h"
#include "cachebuild/EucJpText.h"
#include "infra/AtomicFile.h"
#include "infra/BodyReceiver.h"
#include "infra/InternetFile.h"
#include "infra/NativeFile.h"
#include "infra/Platform.h"
#include "infra/ServerAddress.h"
#include "infra/TextEncoding.h"

namespace {

// The log's texts and the page's markers, converted when first needed
// rather than before main, which every command of the programs would pay for.
struct Texts {
  SjisText pageDownloadFailed{u8"MakeCache::DownloadPHP() : htmlのダウンロードに失敗しました"};
  SjisText pageLocalFileFailed{u8"MakeCache::DownloadPHP() : ローカルファイルを開けませんでした"};
  SjisText pageBroken{u8"MakeCache::DownloadPHP() : htmlのダウンロードが途中で途切れました"};
  SjisText pageTooLarge{u8"MakeCache::DownloadPHP() : htmlが大きすぎるので保存しませんでした"};
  SjisText imageDownloadFailed{u8"MakeCache::DownloadImage() : 画像ファイルのダウンロードに失敗しました"};
  SjisText imageLocalFileFailed{u8"MakeCache::DownloadImage() : ローカルファイルを開けませんでした"};
  SjisText imageBroken{u8"MakeCache::DownloadImage() : 画像ファイルのダウンロードが途中で途切れました"};
  SjisText imageTooLarge{u8"MakeCache::DownloadImage() : 画像ファイルが大きすぎるので保存しませんでした"};
  SjisText nameMarker{u8"情報:"};
  SjisText honorific{u8"様"};
};

const Texts& Text() {
  static const Texts texts;
  return texts;
}

// Longest text taken for the title, the name and the image address.
constexpr size_t kFieldBytes = 256;
// The vote count is read from this many bytes starting at its ':'.
constexpr size_t kCountWindowBytes = 16;

bool PathExists(const std::string& path) { return platform::LookAt(path, true).has_value(); }

bool IsRegularFile(const std::string& path) {
  const std::optional<platform::FileFacts> facts = platform::LookAt(path, true);
  return facts && facts->kind == platform::FileKind::kRegular;
}

// At most `limit` bytes of a regular file; empty for anything else.
std::string ReadLocalFile(const std::string& path, size_t limit) {
  NativeFile file = NativeFile::OpenForReading(path, NativeFile::Links::kFollow);
  if (!file.IsOpen()) return {};
  std::string content;
  char buffer[65536];
  while (content.size() < limit) {
    const size_t want = std::min(sizeof buffer, limit - content.size());
    const long long got = file.Read(buffer, want);
    if (got <= 0) break;
    content.append(buffer, static_cast<size_t>(got));
  }
  return content;
}

enum class Fetch { kOk, kNotOk, kLocalFile, kBroken, kTooLarge, kStopped };

struct FetchOutcome {
  Fetch result;
  std::uint64_t bytes;
};

// GETs `url` into `path` through a temporary file that replaces `path` only
// once the whole body is on disk, so a broken or oversized transfer leaves
// nothing behind that a later run would take for complete. An empty `path`
// (no usable local name) fails as a local file after the request was made.
FetchOutcome FetchToFile(const std::string& url, const InternetSession& session,
                         const std::atomic<bool>* running, const std::string& path, size_t limit) {
  InternetFile remote(url, session, running);
  if (!remote.IsOk()) return {remote.Aborted() ? Fetch::kStopped : Fetch::kNotOk, 0};
  if (path.empty()) return {Fetch::kLocalFile, 0};
  // "php/" and "image/" are made when the first file is saved into them (a
  // reader of pages that saves nothing leaves none behind); one that cannot
  // be made shows as the file failing to open.
  (void)platform::MakeSharedDirectory(path.substr(0, path.rfind('/')));
  AtomicFile local(path);
  if (!local.Ok()) return {Fetch::kLocalFile, 0};
  BodyReceiver receiver(limit);
  switch (receiver.Receive(remote, local)) {
    case BodyReceiver::Result::kComplete:
      return {local.Commit() ? Fetch::kOk : Fetch::kLocalFile, receiver.Bytes()};
    case BodyReceiver::Result::kBroken:
      return {remote.Aborted() ? Fetch::kStopped : Fetch::kBroken, receiver.Bytes()};
    case BodyReceiver::Result::kTooLarge:
      return {Fetch::kTooLarge, receiver.Bytes()};
    case BodyReceiver::Result::kWriteFailed:
      break;
  }
  return {Fetch::kLocalFile, receiver.Bytes()};
}

// The text of at most `length` bytes from `start`, up to its first zero byte
// (the conversion writes zero bytes for codes it cannot map).
std::string TakeText(const std::string& page, size_t start, size_t length) {
  std::string text = page.substr(start, length);
  const auto zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  return text;
}

void CutAt(std::string& text, char stop) {
  const auto found = text.find(stop);
  if (found != std::string::npos) text.resize(found);
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// A decimal integer after leading white space, with an optional sign; false
// (value untouched) when there are no digits or it does not fit 32 bits.
bool ReadInt32(std::string_view text, std::int32_t& value) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const size_t digitsStart = i;
  std::int64_t number = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    number = number * 10 + (text[i] - '0');
    if (number > std::int64_t{INT32_MAX} + 1) return false;
  }
  if (i == digitsStart) return false;
  if (negative) number = -number;
  if (number > INT32_MAX || number < INT32_MIN) return false;
  value = static_cast<std::int32_t>(number);
  return true;
}

// Reads a vote count for the marker at `marker`: from the first ':' at or
// after it, within kCountWindowBytes, past the first '>'. A count that
// cannot be read leaves `value` as it was. False when there is no ':'.
bool ReadCount(const std::string& page, size_t marker, std::int32_t& value) {
  const auto colon = page.find(':', marker);
  if (colon == std::string::npos) return false;
  const std::string_view window = std::string_view(page).substr(colon, kCountWindowBytes);
  const auto close = window.find('>');
  if (close != std::string_view::npos) ReadInt32(window.substr(close + 1), value);
  return true;
}

std::string HexOf(std::uint64_t value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (int i = 15; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 0xF];
  return text;
}

std::uint64_t Fnv1a(std::string_view bytes) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

}  // namespace

MakeCache::MakeCache(const InternetSession& session, std::string id, bool needSignature,
                     const std::atomic<bool>* running)
    : session(session), running(running), id(std::move(id)), needSignature(needSignature) {}

std::string MakeCache::PageFilePath() const { return ProgramDirectory() + "php/" + id; }

std::string MakeCache::ImageFilePath() const {
  const std::string local = LocalImageName(imageUrl);
  return local.empty() ? std::string() : ProgramDirectory() + "image/" + local;
}

std::string MakeCache::LocalImageName(const std::string& imageUrl) {
  const auto slash = imageUrl.rfind('/');
  const std::string last = slash == std::string::npos ? imageUrl : imageUrl.substr(slash + 1);
  if (last.empty() || last == "." || last == ".." || last.find('\0') != std::string::npos) return {};
  const auto dot = last.rfind('.');
  std::string base = dot == std::string::npos ? last : last.substr(0, dot);
  std::string extension = dot == std::string::npos ? std::string() : last.substr(dot);
  // Keep the name well inside the file system's 255 bytes.
  if (extension.size() > 32) extension.resize(32);
  if (base.size() > 160) base.resize(160);
  return base + "_" + HexOf(Fnv1a(imageUrl)) + extension;
}

int MakeCache::RemoveStaleDownloads(long minimumAge) {
  return RemoveStaleTemporaryFilesIn(ProgramDirectory() + "php/", minimumAge) +
         RemoveStaleTemporaryFilesIn(ProgramDirectory() + "image/", minimumAge);
}

bool MakeCache::DownloadPHP() {
  failure = Failure::kNone;
  const std::string path = PageFilePath();
  if (!PathExists(path)) {
    for (const std::string& url : {PageUrl(id), SecondPageUrl(id)}) {
      const FetchOutcome outcome = FetchToFile(url, session, running, path, kMaxPageBytes);
      switch (outcome.result) {
        case Fetch::kOk:
          break;
        case Fetch::kNotOk:
          WriteLog(Text().pageDownloadFailed);
          failure = Failure::kFetch;
          return false;
        case Fetch::kLocalFile:
          WriteLog(Text().pageLocalFileFailed);
          failure = Failure::kLocalFile;
          return false;
        case Fetch::kBroken:
          WriteLog(Text().pageBroken + url);
          failure = Failure::kFetch;
          return false;
        case Fetch::kTooLarge:
          WriteLog(Text().pageTooLarge + url);
          failure = Failure::kFetch;
          return false;
        case Fetch::kStopped:  // the HTTP layer has logged it
          failure = Failure::kStopped;
          return false;
      }
      if (outcome.bytes > kShortPageBytes) break;
    }
  }
  if (ParsePage(ReadLocalFile(path, kMaxPageBytes))) return true;
  failure = Failure::kParse;
  return false;
}

bool MakeCache::ParsePage(std::string_view eucJpPage) {
  // The page becomes one line: each LF goes, with a CR right before it.
  std::string joined;
  joined.reserve(eucJpPage.size());
  for (size_t i = 0; i < eucJpPage.size(); ++i) {
    const char c = eucJpPage[i];
    if (c == '\n') continue;
    if (c == '\r' && i + 1 < eucJpPage.size() && eucJpPage[i + 1] == '\n') continue;
    joined.push_back(c);
  }
  if (joined.empty()) return false;
  const std::string page = EucJpToShiftJis(joined);

  // The title text starts 5 bytes after the tag, past the site's prefix.
  static const std::string kTitleTag = "<title>";
  if (const auto tag = page.find(kTitleTag); tag != std::string::npos) {
    const size_t start = tag + kTitleTag.size() + 5;
    if (start > page.size()) return false;
    title = TakeText(page, start, kFieldBytes);
    CutAt(title, '<');
  }
  // A title of exactly 4 bytes makes the text start inside the closing tag.
  if (title.find("/title") != std::string::npos) return false;

  if (const auto marker = page.find(Text().nameMarker.str()); marker != std::string::npos) {
    name = TakeText(page, marker + Text().nameMarker.str().size(), kFieldBytes);
    const auto honorific = name.find(Text().honorific.str());
    if (honorific != std::string::npos) name.resize(honorific + Text().honorific.str().size());
  }

  // The address starts past "<img " and the five bytes of `src="`.
  static const std::string kImageTag = "<img ";
  if (const auto tag = page.find(kImageTag); tag != std::string::npos) {
    const size_t start = tag + kImageTag.size() + 5;
    if (start > page.size()) return false;
    imageUrl = TakeText(page, start, kFieldBytes);
    CutAt(imageUrl, '"');
  }

  adult = page.find("iframe") != std::string::npos;

  static const std::string kVoteMarker = "../ii";
  const auto first = page.find(kVoteMarker);
  if (first == std::string::npos) return false;
  if (!ReadCount(page, first, good)) return false;
  const auto second = page.find(kVoteMarker, first + 1);
  if (second == std::string::npos) return false;
  return ReadCount(page, second, bad);
}

bool MakeCache::DownloadImage() {
  failure = Failure::kNone;
  const std::string path = ImageFilePath();
  imagePath = path;
  if (!path.empty() && IsRegularFile(path)) return true;
  const FetchOutcome outcome = FetchToFile(imageUrl, session, running, path, kMaxImageBytes);
  switch (outcome.result) {
    case Fetch::kOk:
      imagePath = path;
      return true;
    case Fetch::kNotOk:
      WriteLog(Text().imageDownloadFailed);
      failure = Failure::kFetch;
      return false;
    case Fetch::kLocalFile:
      WriteLog(Text().imageLocalFileFailed);
      failure = Failure::kLocalFile;
      return false;
    case Fetch::kBroken:
      WriteLog(Text().imageBroken + imageUrl);
      failure = Failure::kFetch;
      return false;
    case Fetch::kTooLarge:
      WriteLog(Text().imageTooLarge + imageUrl);
      failure = Failure::kFetch;
      return false;
    case Fetch::kStopped:
      failure = Failure::kStopped;
      return false;
  }
  failure = Failure::kFetch;
  return false;
}
