#pragma once

#include <QDialog>
#include <QIcon>
#include <QImage>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/shared/PictureSource.h"
#include "app/shared/QueueFollow.h"
#include "app/shared/WindowOptions.h"
#include "control/ControlView.h"
#include "imaging/ImageCache.h"

class CListCtrlEx;
class Control;
class InternetSession;
class QAction;
class QTimer;
class SitePictureCache;
class SitePictureFetcher;
class PictureQueue;
class PreviewBox;
class QFrame;
class QueueStrip;
class QLabel;
class QMenu;
class QPushButton;
class QueuedControlView;
class Texture;
class WindowLayout;
class WindowOperations;

// The program's only window: a resizable dialog with the result list, the
// preview box, the buttons, the status line and the help text, and to their
// right the site's picture of the selected row (fetched one at a time on a
// thread of its own) above the query's colour swatch. Several pictures given
// at once (or a folder) are queued: their strip of thumbnails stands beside
// the preview, each marked with its verdict as it is known, and selecting one
// shows its results as kept, without searching again. Opening it
// initialises the system (environment, log, graphics device, Control, the
// list) and starts loading the cache. User actions become operations on
// Control, which run one at a time on a worker thread; Control reports back
// through a queued view, so this object's ControlView operations run on the
// UI thread only. Create, use and destroy it on the UI thread.
class CTintwiseDlg : public QDialog, public ControlView {
  Q_OBJECT

 public:
  using Options = WindowOptions;

  // How long the selection must rest on a row before its site picture is
  // fetched: moving through the list with the keys loads nothing on the way.
  static constexpr int kSiteFetchDelayMs = 150;

  // The button ids of the dialog's controls, by their place in Buttons().
  enum ButtonPlace { kOpen = 0, kExit = 1, kSecret = 2, kAbort = 3, kUpdate = 4 };

  explicit CTintwiseDlg(Options options = {}, QWidget* parent = nullptr);
  // Stops a running cache generation before its next id and waits for the
  // running operation to end.
  ~CTintwiseDlg() override;

  // ControlView, UI thread only. The status text may hold a line feed.
  void SetStatusText(const std::string& text) override;
  void EnableControls(bool enable) override;
  void ClearRows() override;
  void AddRow(const std::vector<std::string>& texts) override;
  void ShowVerdict(const std::string& statusText, const std::vector<std::string>& markedRow) override;

  // Loads `path` as the preview texture and shows it; an empty path or a
  // failed load empties the preview (the loader logs why). Any thread: off the UI thread the
  // texture is handed to the UI thread to be drawn.
  void LoadImage(const std::string& path);
  // Loads the image's preview and searches for it; nothing while another
  // operation runs. Returns whether the search was started.
  bool SearchImage(const std::string& path);
  // Searches a dropped or pasted picture: a file as SearchImage does; a link
  // is downloaded first (Abort stops it), picture data is searched as it is;
  // text that names no picture only says so in the status line. Returns
  // whether an operation was started.
  bool SearchSource(const PictureSource& source);
  // Searches what the clipboard holds, as a drop of it would (Ctrl+V and
  // the preview's context menu).
  void OnPaste();
  // Queues the pictures among `paths` (files as they are, folders' pictures
  // recursively in name order, as the command line's check finds them) and
  // checks them one after another; Abort leaves the rest not checked. The
  // strip shows them, and the list the latest checked one's results until
  // another is selected. Nothing while another operation runs. Returns
  // whether the check was started.
  bool CheckPictures(const std::vector<std::string>& paths);
  // Shows the queued entry `index`'s results as kept: its rows, verdict,
  // preview, swatches and site picture.
  void ShowQueueEntry(int index);

  // The actions behind the buttons; each does nothing while an operation runs.
  void OnOpen();
  void OnGenerateCache();
  void OnAbort();
  void OnUpdateCache();
  // Opens the page of the first selected row; nothing when none is selected.
  // Enter on the list with a row selected and the rows' menu do the same.
  void OnListDoubleClick();

  // True while an operation (load, search, update, generation) runs.
  bool IsBusy() const;
  const std::shared_ptr<Control>& GetControl() const { return control_; }
  CListCtrlEx& List() const { return *list_; }
  PreviewBox& Preview() const { return *preview_; }
  // The site's picture of the selected row, beside the preview.
  PreviewBox& SitePicture() const { return *site_; }
  QLabel& SiteCaption() const { return *siteCaption_; }
  // The query's colour swatch and the selected row's, under the site picture.
  QLabel& QuerySwatch() const { return *querySwatch_; }
  QAction& PasteAction() const { return *paste_; }
  QLabel& StatusLine() const { return *status_; }
  QLabel& HelpText() const { return *help_; }
  const std::array<QPushButton*, 5>& Buttons() const { return buttons_; }
  // The queue's strip; hidden unless several pictures were given at once.
  QueueStrip& Strip() const { return *strip_; }
  // The queue shown in the strip; null when none is.
  const std::shared_ptr<PictureQueue>& Queue() const { return queue_; }
  const std::shared_ptr<Texture>& PreviewTexture() const { return previewTexture_; }

  // Exit: releases the graphics device and ends the dialog. During an
  // operation, aborts what can be aborted and ends once it has finished.
  void reject() override;

 signals:
  // An operation has ended and its results are shown.
  void OperationFinished();

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateControls();
  // Places every control for the window's size.
  void ApplyLayout();
  // The size, position and column widths the window had when it last
  // closed, and keeping them when it closes.
  void RestorePlacement();
  void SavePlacement() const;
  void InitializeSystem();
  void OnOperationFinished();
  void SetPreviewTexture(std::shared_ptr<Texture> texture);
  void EndDialog();
  // The swatches of the query and the listed rows: those of the queued
  // entry shown, or of the last search.
  void ShowSwatches();
  void ShowQuerySwatch(const std::optional<ImageCache::Colours>& query);
  void ShowSwatches(const std::optional<ImageCache::Colours>& query, const std::vector<std::size_t>& rows);
  // Shows or hides the strip (and drops the queue when hiding it).
  void ShowQueue(bool shown);
  void OnQueueFilled(const std::shared_ptr<PictureQueue>& queue);
  // `preview` is the entry's preview texture once it has been checked and read.
  void OnQueueEntryChanged(const std::shared_ptr<PictureQueue>& queue, std::size_t index,
                           const std::shared_ptr<Texture>& preview);
  void OnSelectionChanged();
  void FetchSelectedSitePicture();
  void ShowSitePicture(const std::string& id, const QImage& picture, const std::string& message);
  // The first selected row's id; empty when none is selected.
  std::string SelectedId() const;
  // Puts the selected row's page address (or its id) on the clipboard.
  void CopySelectedRow(bool address);
  void OnListContextMenu(const QPoint& at);

  Options options_;
  QIcon icon_;
  std::unique_ptr<WindowLayout> layout_;
  PreviewBox* preview_ = nullptr;
  PreviewBox* site_ = nullptr;
  QLabel* siteCaption_ = nullptr;
  QLabel* querySwatch_ = nullptr;
  QLabel* querySwatchCaption_ = nullptr;
  QAction* paste_ = nullptr;
  QMenu* rowMenu_ = nullptr;
  QTimer* siteDelay_ = nullptr;
  QTimer* abortRepeat_ = nullptr;
  // The id whose site picture the box shows or waits for; empty for none.
  std::string siteId_;
  CListCtrlEx* list_ = nullptr;
  std::array<QPushButton*, 5> buttons_{};
  QFrame* hidden_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* help_ = nullptr;
  // Declared in this order so that the runner (which waits for the worker)
  // goes first, then Control, then the view Control reports to.
  std::unique_ptr<QueuedControlView> queuedView_;
  std::shared_ptr<Control> control_;
  std::unique_ptr<WindowOperations> operations_;
  std::unique_ptr<SitePictureCache> siteCache_;
  // Goes before Control, whose session it uses.
  std::unique_ptr<SitePictureFetcher> siteFetcher_;
  std::shared_ptr<Texture> previewTexture_;
  QueueStrip* strip_ = nullptr;
  std::shared_ptr<PictureQueue> queue_;
  // Each queued entry's rendered preview, once read: selecting it again
  // decodes nothing.
  std::vector<QImage> queuePreviews_;
  // The entry whose results are shown.
  QueueFollow follow_;
  bool startupLoad_ = true;
  bool closePending_ = false;
};
