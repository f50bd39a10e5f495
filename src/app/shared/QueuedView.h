#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "control/ControlView.h"

// Hands the calls that an operation makes on its worker thread over to a
// view that lives on the window's UI thread, in the order they were made.
// Calls never block on the UI thread. No toolkit: the window supplies `wake`,
// which any thread may call and which must arrange for Deliver to run soon on
// the UI thread (a posted event or message), and runs Deliver there.
//
// Status texts are cheap to send in floods: a text that follows another still
// pending replaces it, and a batch holding only a status text waits until
// kStatusInterval has passed since the last one shown, so a search that
// reports ten thousand times updates the status line at most about sixty
// times a second and costs its worker no more than a locked string copy per
// text. The last text is always shown: Deliver says how long to wait before
// calling it again (a timer of the window's). EnableControls, row and
// verdict calls are delivered at once, after the texts sent before them.
//
// `target` is only called from Deliver and Flush and must outlive this object.
class QueuedView : public ControlView {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kStatusInterval{16};

  QueuedView(ControlView& target, std::function<void()> wake);

  void SetStatusText(const std::string& text) override;
  void EnableControls(bool enable) override;
  void ClearRows() override;
  void AddRow(const std::vector<std::string>& texts) override;
  void ShowVerdict(const std::string& statusText, const std::vector<std::string>& markedRow) override;

  // UI thread, after a wake: applies what is pending. Returns zero when done,
  // or how long to wait before calling Deliver again when a lone status text
  // is held back (no further wake comes for it).
  std::chrono::milliseconds Deliver(Clock::time_point now = Clock::now());
  // UI thread: applies every pending call now, a held-back status text
  // included. A delivery still due then finds nothing.
  void Flush(Clock::time_point now = Clock::now());

 private:
  struct Call {
    enum class Kind { kStatus, kEnable, kClear, kRow, kVerdict } kind;
    std::string text;
    bool enable = false;
    std::vector<std::string> texts;
  };

  void Post(Call call);
  void Apply(std::vector<Call>& calls, Clock::time_point now);

  ControlView& target_;
  const std::function<void()> wake_;
  std::mutex mutex_;
  std::vector<Call> pending_;    // guarded by mutex_
  bool deliveryDue_ = false;     // guarded by mutex_; true from a wake until a Deliver empties the queue
  std::optional<Clock::time_point> lastStatus_;  // UI thread only
};
