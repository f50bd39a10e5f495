#pragma once

#include <QObject>
#include <string>
#include <vector>

#include "app/shared/QueuedView.h"

// The shared QueuedView on Qt's event loop: hands the calls an operation
// makes on its worker thread to `target`, which lives on this object's
// thread (the UI thread), through queued events, and shows a held-back
// status text with a single-shot timer. Any thread may call the ControlView
// operations; `target` must outlive this object. Calls still pending when
// this object is destroyed are dropped.
class QueuedControlView : public QObject, public ControlView {
  Q_OBJECT

 public:
  static constexpr int kStatusIntervalMs = static_cast<int>(QueuedView::kStatusInterval.count());

  explicit QueuedControlView(ControlView& target, QObject* parent = nullptr);

  void SetStatusText(const std::string& text) override { queue_.SetStatusText(text); }
  void EnableControls(bool enable) override { queue_.EnableControls(enable); }
  void ClearRows() override { queue_.ClearRows(); }
  void AddRow(const std::vector<std::string>& texts) override { queue_.AddRow(texts); }
  void ShowVerdict(const std::string& statusText, const std::vector<std::string>& markedRow) override {
    queue_.ShowVerdict(statusText, markedRow);
  }

  // Applies every pending call now, a held-back status text included. This
  // object's thread only.
  void Flush() { queue_.Flush(); }

 private:
  void Deliver();

  QueuedView queue_;
};
