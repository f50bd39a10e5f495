#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "control/OperationContext.h"
#include "infra/FetchFailure.h"
#include "infra/PrivateTempDirectory.h"

// A query picture that did not come as a file of the user's: a link fetched
// through the HTTP layer, or picture data from a drag or the clipboard. It
// is kept as a file in a private temporary directory for as long as this
// object lives, so that the search and the preview read it like any other
// file; the user never saves anything and nothing stays behind.
// One thread at a time (the operation's).
class QueryPicture {
 public:
  enum class Outcome {
    kOk,            // Path() names the picture
    kNoAnswer,      // a malformed link, no connection, or a status other than 200
    kBroken,        // the body broke off
    kTooLarge,      // more than kMaxBytes
    kAborted,       // Abort (the context's running flag) stopped the download
    kNotAPicture,   // the bytes are no picture the program decodes (an HTML page)
    kNoTemporary,   // the temporary file could not be written
  };

  // The largest picture taken from a link.
  static constexpr std::uint64_t kMaxBytes = std::uint64_t{64} << 20;

  // True for an "http://" or "https://" address (any letter case).
  static bool IsLink(std::string_view text);

  // Fetches `url` with the context's session. While the body arrives the
  // view's status shows "画像をダウンロード中..." and the bytes so far; Abort
  // (clearing context.running) stops it within a second. The caller sets
  // context.running before, on the thread that aborts, so that an Abort
  // that comes before this call has started is not lost; this call clears
  // it when done. A failure is logged with the link and its reason, which
  // Failure() then holds.
  Outcome Download(const std::string& url, const OperationContext& context);

  // Keeps picture data that arrived in memory.
  Outcome Keep(const std::string& bytes);

  // The picture's file while this object lives; empty unless an outcome was kOk.
  const std::string& Path() const { return path_; }

  // Why the last Download failed, as the HTTP layer told (kind kNone after
  // a success, or when the bytes were not a picture).
  const FetchFailure& Failure() const { return failure_; }

  // The status line for an outcome other than kOk (Shift-JIS), in the window's words.
  static std::string StatusText(Outcome outcome);
  // The same with the reason the HTTP layer gave for a failed download on
  // a second line, e.g. "画像のダウンロードに失敗しました\nサーバーの応答 HTTP 404".
  static std::string StatusText(Outcome outcome, const FetchFailure& failure);

 private:
  // Made when the first picture is kept: a failed download leaves nothing.
  std::optional<PrivateTempDirectory> directory_;
  std::string path_;
  FetchFailure failure_;
};
