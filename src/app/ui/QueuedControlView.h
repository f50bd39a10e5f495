#pragma once

#include <QObject>
#include <mutex>
#include <string>
#include <vector>

#include "search/ControlView.h"

// Hands the calls that an operation makes on its worker thread over to a view
// that lives on this object's thread (the UI thread), in the order they were
// made. Runs of status texts with nothing in between collapse to the latest
// one, so a search that reports ten thousand times posts a handful of
// updates; the last text of a run, and every EnableControls and row call, is
// always delivered. Calls never block on the UI thread.
// Any thread may call the ControlView operations; `target` is only called on
// this object's thread and must outlive it. Calls still pending when this
// object is destroyed are dropped.
class QueuedControlView : public QObject, public ControlView {
  Q_OBJECT

 public:
  explicit QueuedControlView(ControlView& target, QObject* parent = nullptr);

  void SetStatusText(const std::string& text) override;
  void EnableControls(bool enable) override;
  void ClearRows() override;
  void AddRow(const std::vector<std::string>& texts) override;

  // Applies every pending call now. This object's thread only; the queued
  // delivery does the same on its own.
  void Deliver();

 private:
  struct Call {
    enum class Kind { kStatus, kEnable, kClear, kRow } kind;
    std::string text;
    bool enable = false;
    std::vector<std::string> texts;
  };

  void Post(Call call);

  ControlView& target_;
  std::mutex mutex_;
  std::vector<Call> pending_;  // guarded by mutex_
};
