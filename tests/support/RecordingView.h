#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "control/ControlView.h"

// A ControlView that records every call, in order, for tests to inspect.
// Texts stay Shift-JIS bytes. Calls may come from any thread.
class RecordingView : public ControlView {
 public:
  struct Call {
    enum class Kind { kStatus, kEnable, kClear, kRow } kind;
    std::string text;                // kStatus
    bool enable = false;             // kEnable
    std::vector<std::string> texts;  // kRow
  };

  void SetStatusText(const std::string& text) override;
  void EnableControls(bool enable) override;
  void ClearRows() override;
  void AddRow(const std::vector<std::string>& texts) override;

  std::vector<Call> Calls() const;
  // The status texts set so far, in order; the last one, or "" when none.
  std::vector<std::string> StatusTexts() const;
  std::string LastStatus() const;
  // The EnableControls arguments, in order.
  std::vector<bool> EnableCalls() const;
  // The rows shown now: those added since the last ClearRows.
  std::vector<std::vector<std::string>> Rows() const;
  void Forget();

 private:
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
};
