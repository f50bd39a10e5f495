#include "control/CacheUpdate.h"

#include "infra/AtomicFile.h"
#include "infra/TextEncoding.h"
#include "control/ControlView.h"
#include "search/CacheDatabase.h"

bool CacheUpdate::Run() {
  static const SjisText kDownloading{u8"キャッシュファイルのダウンロード中"};
  static const SjisText kDone{u8"キャッシュファイルのダウンロードが完了しました"};
  static const SjisText kFailed{u8"キャッシュファイルのダウンロードに失敗しました"};
  ControlView& view = context_.view;
  view.EnableControls(false);
  view.SetStatusText(kDownloading);
  // Nothing may hold "cache.db" open while it is replaced.
  context_.cache.Release();
  RemoveStaleTemporaryFiles("cache.db");
  // Abort (or closing the window) clears the flag and stops the transfer.
  context_.running.store(true);
  CacheDownloader::Options options = options_;
  options.running = &context_.running;
  const bool downloaded = CacheDownloader(options).Download(context_.session);
  context_.running.store(false);
  view.SetStatusText(downloaded ? kDone : kFailed);
  // Reloads the new database, or the old one that a failure left in place.
  const bool loaded = context_.cache.Open();
  view.EnableControls(true);
  return downloaded && loaded;
}
