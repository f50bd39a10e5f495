#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <mutex>
#include <string>
#include <vector>

#include "control/ControlView.h"

// Hands the calls that an operation makes on its worker thread over to a view
// that lives on this object's thread (the UI thread), in the order they were
// made. Calls never block on the UI thread.
//
// Status texts are cheap to send in floods: a text that follows another still
// pending replaces it, and a batch holding only a status text waits until
// kStatusInterval has passed since the last one shown, so a search that
// reports ten thousand times updates the status line at most about sixty
// times a second and costs its worker no more than a locked string copy per
// text. The last text is always shown; EnableControls and row calls are
// delivered at once, after the texts sent before them.
//
// Any thread may call the ControlView operations; `target` is only called on
// this object's thread and must outlive it. Calls still pending when this
// object is destroyed are dropped.
class QueuedControlView : public QObject, public ControlView {
  Q_OBJECT

 public:
  static constexpr int kStatusIntervalMs = 16;

  explicit QueuedControlView(ControlView& target, QObject* parent = nullptr);

  void SetStatusText(const std::string& text) override;
  void EnableControls(bool enable) override;
  void ClearRows() override;
  void AddRow(const std::vector<std::string>& texts) override;
  void ShowVerdict(const std::string& statusText, const std::vector<std::string>& markedRow) override;

  // Applies every pending call now, a held-back status text included. This
  // object's thread only.
  void Flush();

 private:
  struct Call {
    enum class Kind { kStatus, kEnable, kClear, kRow, kVerdict } kind;
    std::string text;
    bool enable = false;
    std::vector<std::string> texts;
  };

  void Post(Call call);
  // The queued delivery; may hold back a batch of only a status text.
  void Deliver();
  void Apply(std::vector<Call>& calls);

  ControlView& target_;
  std::mutex mutex_;
  std::vector<Call> pending_;     // guarded by mutex_
  bool deliveryQueued_ = false;   // guarded by mutex_; true while a Deliver is posted or timed
  QElapsedTimer sinceStatus_;     // this object's thread only
};
