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
  const bool downloaded = CacheDownloader(options_).Download(context_.session);
  view.SetStatusText(downloaded ? kDone : kFailed);
  // Reloads the new database, or the old one that a failure left in place.
  const bool loaded = context_.cache.Open();
  view.EnableControls(true);
  return downloaded && loaded;
}
