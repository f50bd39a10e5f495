#include "control/CacheUpdate.h"

#include "control/ControlView.h"
#include "infra/AtomicFile.h"
#include "infra/TextEncoding.h"
#include "infra/WriterLock.h"
#include "search/CacheDatabase.h"

OperationResult CacheUpdate::Run() {
  static const SjisText kDownloading{u8"キャッシュファイルのダウンロード中"};
  static const SjisText kDone{u8"キャッシュファイルのダウンロードが完了しました"};
  static const SjisText kFailed{u8"キャッシュファイルのダウンロードに失敗しました"};
  static const SjisText kReloadFailed{u8"キャッシュの読み込みに失敗しました"};
  static const SjisText kNotACache{u8"ダウンロードしたファイルはキャッシュとして使えません(検証に失敗しました)"};
  ControlView& view = context_.view;
  view.EnableControls(false);
  view.SetStatusText(kDownloading);
  // Nothing may hold "cache.db" open while it is replaced.
  context_.cache.Release();
  WriterLock writers;
  RemoveStaleTemporaryFiles("cache.db", WriterLock::StaleAge(writers.Acquire()));
  // Abort (or closing the window) clears the flag and stops the transfer.
  context_.running.store(true);
  CacheDownloader::Options options = options_;
  options.running = &context_.running;
  CacheDownloader downloader(options);
  const bool downloaded = downloader.Download(context_.session);
  context_.running.store(false);
  // A file that arrived whole but failed verification is not a failed download.
  const std::string& failed =
      downloader.LastOutcome() == CacheDownloader::Outcome::kNotACache ? kNotACache.str() : kFailed.str();
  view.SetStatusText(downloaded ? kDone.str() : failed);
  // Reloads the new database, or the old one that a failure left in place.
  const bool loaded = context_.cache.Open();
  // A new database that is in place but did not load must not stand as a
  // success on the status line.
  if (downloaded && !loaded) view.SetStatusText(kReloadFailed);
  view.EnableControls(true);
  if (!downloaded) return OperationResult::Failure(failed);
  if (!loaded) return OperationResult::Failure(kReloadFailed);
  return OperationResult::Success();
}
