#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/shared/PictureSource.h"
#include "app/shared/QueueFollow.h"
#include "app/shared/WindowOptions.h"
#include "app/win/ComPointer.h"
#include "app/win/DialogFont.h"
#include "app/shared/DropData.h"
#include "app/win/OwnedHandle.h"
#include "app/win/PictureBox.h"
#include "app/win/PixelPicture.h"
#include "app/win/QueueStrip.h"
#include "app/win/ResultList.h"
#include "control/ControlView.h"

class Control;
class DropTarget;
class InternetSession;
class QueuedView;
class SitePictureCache;
class SitePictureFetcher;
class WindowLayout;
class WindowOperations;

// The program's window on Windows: a resizable top-level window laid out by
// the shared WindowLayout in dialog units, with the result list, the preview
// and the site's picture of the selected row beside it, the buttons, the
// status line and the help text. Opening it initialises the system
// (environment, log, Control) and starts loading the cache. User actions
// become operations on Control, run one at a time on a worker thread;
// Control reports back through a queued view woken by a posted message, so
// this object's ControlView operations run on the UI thread only. Create,
// use and destroy it on the UI thread, which must have initialised OLE.
class TintwiseWindow : public ControlView {
 public:
  using Options = WindowOptions;

  static constexpr int kSiteFetchDelayMs = 150;
  static constexpr int kAbortRepeatMs = 100;
  enum ButtonPlace { kOpen = 0, kExit = 1, kSecret = 2, kAbort = 3, kUpdate = 4 };

  explicit TintwiseWindow(Options options = {});
  // Stops a running operation (Abort, repeated) and waits for it.
  ~TintwiseWindow() override;
  TintwiseWindow(const TintwiseWindow&) = delete;
  TintwiseWindow& operator=(const TintwiseWindow&) = delete;

  HWND Handle() const { return window_.get(); }
  // Shows the window as it was left (maximised or not).
  void Show();
  // The keyboard's share of a message from the loop (shortcuts, Tab, Enter);
  // true when it was used up.
  bool PreTranslate(MSG& message);
  // True once Exit has ended the window (the loop then stops).
  bool Ended() const { return ended_; }

  // ControlView, UI thread only.
  void SetStatusText(const std::string& text) override;
  void EnableControls(bool enable) override;
  void ClearRows() override;
  void AddRow(const std::vector<std::string>& texts) override;
  void ShowVerdict(const std::string& statusText, const std::vector<std::string>& markedRow) override;

  // The intentions behind the controls; each does nothing while an
  // operation runs (Abort and Exit excepted).
  bool SearchImage(const std::string& path);
  bool SearchSource(const PictureSource& source);
  // Several local files (or a folder) are queued, anything else searched
  // as SearchSource does.
  bool SearchDrop(const DropData& data);
  // Queues the pictures among `paths` (files as they are, folders' pictures
  // recursively in name order) and checks them one after another; Abort
  // leaves the rest not checked. The strip shows them, the list the latest
  // checked one's results until the user selects another.
  bool CheckPictures(const std::vector<std::string>& paths);
  // Shows queued entry `index`'s kept results: rows, verdict, preview, swatches.
  void ShowQueueEntry(int index);
  void OnPaste();
  void OnOpen();
  void OnGenerateCache();
  void OnAbort();
  void OnUpdateCache();
  void OnOpenPage();
  void CopySelectedRow(bool address);
  void OnExit();

  bool IsBusy() const;
  const std::shared_ptr<Control>& GetControl() const { return control_; }
  ResultList& List() const { return *list_; }
  PictureBox& Preview() const { return *preview_; }
  PictureBox& SitePicture() const { return *site_; }
  PictureBox& QuerySwatch() const { return *querySwatch_; }
  HWND Button(ButtonPlace place) const { return buttons_[place].get(); }
  std::string StatusText() const;
  DropTarget& Drop() const { return *dropTarget_; }
  // The queue's strip; hidden unless several pictures were given at once.
  QueueStrip& Strip() const { return *strip_; }
  // The queue shown in the strip; null when none is.
  const std::shared_ptr<PictureQueue>& Queue() const { return queue_; }
  // Called on the UI thread whenever an operation has ended and its results
  // are shown (tests wait for it).
  void SetOnOperationFinished(std::function<void()> done) { onFinished_ = std::move(done); }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void ApplyFont(UINT dpi);
  void ApplyLayout();
  PixelSize ClientSize() const;
  SIZE FrameSize(PixelSize client) const;
  void RestorePlacement();
  void SavePlacement() const;
  void InitializeSystem();
  void OnOperationFinished();
  void OnCommand(int id);
  void OnNotify(const NMHDR& header, LRESULT* result);
  void OnContextMenu(HWND from, POINT at);
  void OnEnter();
  // Decodes the preview of `path` on the calling thread at the preview's
  // size and hands it to the UI thread; an empty path empties the preview.
  void LoadPreview(const std::string& path);
  void ShowPendingPictures();
  // Decodes the boxes' pictures again at their new size on a thread of its
  // own (one at a time; a request while one runs is served after it).
  void RedecodePictures();
  void ShowRedecoded();
  void ShowSwatches();
  void OnSelectionChanged();
  void FetchSelectedSitePicture();
  std::string SelectedId() const;
  void EndWindow();
  // Shows or hides the strip (and drops the queue when hiding it).
  void ShowQueue(bool shown);
  void OnQueueFilled(const std::shared_ptr<PictureQueue>& queue);
  // `preview` is the entry's picture once it has been checked and read.
  void OnQueueEntryChanged(const std::shared_ptr<PictureQueue>& queue, std::size_t index,
                           const std::shared_ptr<PixelPicture>& preview);
  // Has the UI thread run `call` after what was posted before; dropped with the window.
  void Post(std::function<void()> call);

  Options options_;
  // The window goes last: its children's owners below release theirs first.
  OwnedWindow window_;
  OwnedIcon bigIcon_;
  OwnedIcon smallIcon_;
  std::unique_ptr<DialogFont> font_;
  std::unique_ptr<WindowLayout> layout_;
  std::unique_ptr<ResultList> list_;
  // Narrowed fonts of the buttons whose captions need them; declared before
  // the buttons so that they go after them.
  std::array<OwnedFont, 5> buttonFonts_;
  std::array<OwnedWindow, 5> buttons_;
  OwnedWindow status_;
  OwnedWindow help_;
  OwnedWindow hidden_;
  OwnedWindow siteCaption_;
  OwnedWindow querySwatchCaption_;
  std::unique_ptr<PictureBox> preview_;
  std::unique_ptr<PictureBox> site_;
  std::unique_ptr<PictureBox> querySwatch_;
  std::unique_ptr<QueueStrip> strip_;
  std::shared_ptr<PictureQueue> queue_;
  // Each queued entry's picture once read: selecting it again decodes nothing.
  std::vector<PixelPicture> queuePreviews_;
  QueueFollow follow_;
  OwnedMenu rowMenu_;
  OwnedMenu previewMenu_;
  ComPointer<DropTarget> dropTarget_;

  // Pictures decoded off the UI thread, waiting to be shown; guarded by picturesMutex_.
  std::mutex picturesMutex_;
  std::optional<PixelPicture> pendingPreview_;
  struct SiteResult {
    std::string id;
    std::string bytes;
    PixelPicture picture;
    std::string message;
  };
  std::optional<SiteResult> pendingSite_;
  // The boxes' sizes in device pixels, read where their pictures are decoded.
  std::shared_ptr<std::atomic<int>> previewWidth_ = std::make_shared<std::atomic<int>>(1);
  std::shared_ptr<std::atomic<int>> previewHeight_ = std::make_shared<std::atomic<int>>(1);
  std::shared_ptr<std::atomic<int>> siteSide_ = std::make_shared<std::atomic<int>>(1);
  // What the boxes show, to decode again at a new size (UI thread).
  std::string previewPath_;
  std::string siteBytes_;
  std::string siteId_;

  // Functions other threads hand to the UI thread (the runner's end),
  // run on a posted message; dropped with the window. Guarded by postedMutex_.
  std::mutex postedMutex_;
  std::vector<std::function<void()>> posted_;
  void RunPosted();

  // Declared in this order so that the runner (which waits for the worker)
  // goes first, then Control, then the view Control reports to.
  std::unique_ptr<QueuedView> queuedView_;
  std::shared_ptr<Control> control_;
  std::unique_ptr<WindowOperations> operations_;
  std::unique_ptr<SitePictureCache> siteCache_;
  std::unique_ptr<SitePictureFetcher> siteFetcher_;
  std::function<void()> onFinished_;
  struct Redecoded {
    std::string previewPath;
    PixelPicture preview;
    std::string siteId;
    PixelPicture site;
  };
  std::optional<Redecoded> redecoded_;  // guarded by picturesMutex_
  std::thread redecoder_;
  bool redecoding_ = false;      // UI thread: from the start until its result is taken
  bool redecodeAgain_ = false;   // UI thread
  bool startupLoad_ = true;
  bool closePending_ = false;
  bool ended_ = false;
  bool sizing_ = false;
  bool maximizeAtShow_ = false;
};
