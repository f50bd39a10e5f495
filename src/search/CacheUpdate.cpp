#include "search/CacheUpdate.h"

#include "infra/AtomicFile.h"
#include "infra/TextEncoding.h"
#include "search/Control.h"
#include "search/ControlView.h"

bool CacheUpdate::Run() {
  static const SjisText kDownloading{u8"キャッシュファイルのダウンロード中"};
  static const SjisText kDone{u8"キャッシュファイルのダウンロードが完了しました"};
  static const SjisText kFailed{u8"キャッシュファイルのダウンロードに失敗しました"};
  ControlView& view = control_.View();
  view.EnableControls(false);
  view.SetStatusText(kDownloading);
  // Nothing may hold "cache.db" open while it is replaced.
  control_.ReleaseDatabase();
  RemoveStaleTemporaryFiles("cache.db");
  const bool downloaded = CacheDownloader(options_).Download(control_.Session());
  view.SetStatusText(downloaded ? kDone : kFailed);
  // Reloads the new database, or the old one that a failure left in place.
  const bool loaded = control_.OpenDatabase();
  view.EnableControls(true);
  return downloaded && loaded;
}
