#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/shared/OperationRunner.h"
#include "app/shared/PictureSource.h"
#include "control/PictureQueue.h"

class Control;
class ControlView;
class SitePictureCache;

// The long operations both windows start, one at a time on a worker thread:
// the start-up load, the search of a file, a link or picture data, the check
// of queued pictures, the cache update and generation. Each reports through
// Control's view (which hands the calls to the UI thread); what only the
// window can do with a picture goes through `showPreview`. An exception
// never leaves the worker: it is logged and the window made usable again.
// Create, use and destroy on the UI thread.
class WindowOperations {
 public:
  // Decodes the picture at `path` as the preview and has the UI thread show
  // it; an empty path empties the preview. Called on the worker, and on the
  // UI thread for an empty path.
  using ShowPreview = std::function<void(const std::string& path)>;
  // Worker thread: the queue has been filled (its entries are known).
  using QueueFilled = std::function<void()>;

  // `window` is the window's own view (UI thread); `control` reports to a
  // view any thread may call. `post` and `finished` as OperationRunner's.
  WindowOperations(std::shared_ptr<Control> control, ControlView& window, OperationRunner::Post post,
                   std::function<void()> finished, ShowPreview showPreview);
  // Stops a running operation (see Stop).
  ~WindowOperations();
  WindowOperations(const WindowOperations&) = delete;
  WindowOperations& operator=(const WindowOperations&) = delete;

  // From now on a search goes on to confirm its verdict by the site's own
  // pictures on the same worker (Control::ConfirmLastSearch), and a queue
  // each of its pictures' right after that picture's check
  // (Control::CheckQueue), taking and keeping them in `cache` (may be null;
  // it must outlive this object), as "サイトの画像" does. Abort ends the
  // confirmation.
  void ConfirmSearches(SitePictureCache* cache);

  // True from a start until `finished` has been called.
  bool IsBusy() const { return runner_.IsBusy(); }
  // Starts `operation`; false, starting nothing, while another runs.
  bool Start(std::function<void(Control&)> operation);
  bool LoadCache();
  // Empties the preview and decodes the picture's on the worker before the
  // search (a large picture takes a moment); the controls go off at once.
  bool SearchFile(const std::string& path);
  // A file as SearchFile; a link is downloaded first (Abort stops it),
  // picture data searched as it is. Text that names no picture clears the
  // results and says so: false, as for kNone.
  bool SearchSource(const PictureSource& source);
  // Fills `queue` from `paths` (folders walked on the worker), then checks
  // (and confirms, see ConfirmSearches) its pictures one after another
  // until Abort; `changed` runs on the
  // worker after each state change. The caller disables what it wants off
  // before; the controls come back on at the end.
  bool CheckQueue(std::shared_ptr<PictureQueue> queue, std::vector<std::string> paths, QueueFilled filled,
                  PictureQueue::Changed changed);
  bool UpdateCache();
  bool GenerateCache();
  // Aborts the running operation, again and again until its work has
  // returned, and waits for that: an operation that has only just started
  // may arm its running flag after a single Abort. A download ends within a
  // second. The completion still comes through `post`.
  void Stop();

  // What the status line says once the start-up load has ended: an
  // installed copy without a cache says how to fetch one, a copy that could
  // not use its own folder says which one it uses. Empty for nothing.
  static std::string StartupNotice(const Control& control);

 private:
  std::shared_ptr<Control> control_;
  ControlView& window_;
  // The search of the picture at the control's path, then its confirmation.
  static void SearchAndConfirm(Control& control, bool confirm, SitePictureCache* cache);

  ShowPreview showPreview_;
  bool confirm_ = false;
  SitePictureCache* siteCache_ = nullptr;
  OperationRunner runner_;
};
