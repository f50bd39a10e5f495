#include "app/shared/WindowOperations.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <thread>

#include "app/shared/WindowTexts.h"
#include "control/Control.h"
#include "control/ControlView.h"
#include "control/DataDirectoryNotice.h"
#include "control/QueryPicture.h"
#include "infra/Environment.h"
#include "infra/Log.h"

namespace {

const SjisText kOperationFailed{u8"WindowOperations::Start() : 処理が例外で終了しました"};
// How often Stop repeats Abort until the operation has ended.
constexpr std::chrono::milliseconds kAbortRepeat{100};

}  // namespace

WindowOperations::WindowOperations(std::shared_ptr<Control> control, ControlView& window, OperationRunner::Post post,
                                   std::function<void()> finished, ShowPreview showPreview)
    : control_(std::move(control)),
      window_(window),
      showPreview_(std::move(showPreview)),
      runner_(std::move(post), std::move(finished)) {}

WindowOperations::~WindowOperations() { Stop(); }

bool WindowOperations::Start(std::function<void(Control&)> operation) {
  if (runner_.IsBusy()) return false;
  return runner_.Start([control = control_, operation = std::move(operation)] {
    try {
      operation(*control);
    } catch (const std::exception& error) {
      // Nothing may leave the worker; the window must become usable again.
      WriteLog(kOperationFailed.str());
      WriteLog(error.what());
      control->View().EnableControls(true);
    } catch (...) {
      WriteLog(kOperationFailed.str());
      control->View().EnableControls(true);
    }
  });
}

void WindowOperations::ConfirmSearches(SitePictureCache* cache) {
  confirm_ = true;
  siteCache_ = cache;
}

void WindowOperations::SearchAndConfirm(Control& control, bool confirm, SitePictureCache* cache) {
  if (control.Search() && confirm) {
    control.ConfirmLastSearch(cache);
  } else {
    control.SetRunning(false);
  }
}

bool WindowOperations::LoadCache() {
  return Start([](Control& control) { control.LoadCache(); });
}

bool WindowOperations::SearchFile(const std::string& path) {
  if (runner_.IsBusy()) return false;
  control_->SetPath(path);
  // The search's own disabling only arrives after the preview's decode, so
  // the controls go off here.
  window_.EnableControls(false);
  // Armed here, on the thread Abort comes from: an Abort during the search
  // already stops its confirmation.
  control_->SetRunning(true);
  const bool started = Start([show = showPreview_, path, confirm = confirm_, cache = siteCache_](Control& control) {
    show(path);
    SearchAndConfirm(control, confirm, cache);
  });
  if (!started) {
    control_->SetRunning(false);
    window_.EnableControls(true);
  }
  return started;
}

bool WindowOperations::SearchSource(const PictureSource& source) {
  if (runner_.IsBusy()) return false;
  switch (source.kind) {
    case PictureSource::Kind::kNone:
      return false;
    case PictureSource::Kind::kNotAPicture:
      // The previous query's results would pass for this one's.
      window_.ClearRows();
      showPreview_({});
      window_.SetStatusText(QueryPicture::StatusText(QueryPicture::Outcome::kNotAPicture));
      return false;
    case PictureSource::Kind::kFile:
      return SearchFile(source.path);
    case PictureSource::Kind::kLink:
    case PictureSource::Kind::kData:
      break;
  }
  // Armed here, on the thread Abort comes from: an Abort pressed before the
  // worker starts the download (or the confirmation) still stops it.
  control_->SetRunning(true);
  const bool started = Start([show = showPreview_, source, confirm = confirm_, cache = siteCache_](Control& control) {
    const OperationContext context = control.Context();
    context.view.EnableControls(false);
    context.view.ClearRows();
    // Lives until the search is over; its temporary file goes with it.
    QueryPicture picture;
    const QueryPicture::Outcome outcome = source.kind == PictureSource::Kind::kLink
                                              ? picture.Download(source.url, context)
                                              : picture.Keep(source.bytes);
    if (outcome != QueryPicture::Outcome::kOk) {
      show({});
      context.view.SetStatusText(QueryPicture::StatusText(outcome, picture.Failure()));
      context.view.EnableControls(true);
      control.SetRunning(false);
      return;
    }
    control.SetPath(picture.Path());
    show(picture.Path());
    SearchAndConfirm(control, confirm, cache);
  });
  if (!started) control_->SetRunning(false);
  return started;
}

bool WindowOperations::CheckQueue(std::shared_ptr<PictureQueue> queue, std::vector<std::string> paths,
                                  QueueFilled filled, PictureQueue::Changed changed) {
  if (runner_.IsBusy()) return false;
  // Armed here, on the thread Abort comes from, so that an early Abort counts.
  control_->SetRunning(true);
  const bool started = Start([queue, paths = std::move(paths), filled = std::move(filled),
                              changed = std::move(changed), confirm = confirm_,
                              cache = siteCache_](Control& control) {
    // Folders are walked here: a large one takes a while.
    queue->FillFrom(paths);
    filled();
    control.CheckQueue(*queue, changed, confirm, cache);
    control.View().EnableControls(true);
  });
  if (!started) control_->SetRunning(false);
  return started;
}

bool WindowOperations::UpdateCache() {
  return Start([](Control& control) { control.UpdateCache(); });
}

bool WindowOperations::GenerateCache() {
  return Start([](Control& control) { control.GenerateCache(); });
}

void WindowOperations::Stop() {
  if (!runner_.IsBusy()) return;
  std::atomic<bool> returned{false};
  std::thread repeat([&returned, control = control_] {
    while (!returned.load()) {
      control->Abort();
      std::this_thread::sleep_for(kAbortRepeat);
    }
  });
  runner_.Wait();
  returned.store(true);
  repeat.join();
}

std::string WindowOperations::StartupNotice(const Control& control) {
  if (control.RowCount() != 0 || ProgramDirectoryRule() != DataDirectoryRule::kUserData) return {};
  const DataDirectoryNotice notice = DataDirectoryNotice::Current();
  return notice.Empty() ? WindowTexts::kNoCache.str() : notice.StatusText();
}
