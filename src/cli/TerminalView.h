#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "control/ControlView.h"

// Shows Control's progress on a terminal: status texts go to `status`
// (normally stderr) as UTF-8 lines; progress texts (those holding a line
// feed) are redrawn in place when `status` is a terminal and left out
// otherwise. Result rows are kept until PrintRows writes them.
// Streams are borrowed. One operation at a time.
class TerminalView : public ControlView {
 public:
  TerminalView(std::FILE* status, bool interactive) : status_(status), interactive_(interactive) {}

  void SetStatusText(const std::string& text) override;
  void EnableControls(bool) override {}
  void ClearRows() override { rows_.clear(); }
  void AddRow(const std::vector<std::string>& texts) override { rows_.push_back(texts); }

  // While quiet, status texts are dropped.
  void SetQuiet(bool quiet) { quiet_ = quiet; }

  // One line per row, tab-separated UTF-8: difference, id, title, poster.
  // Control bytes inside the texts become spaces, so each row stays one line
  // and no text can drive the terminal.
  void PrintRows(std::FILE* out) const;

  // The last status text shown, as the system's Shift-JIS bytes.
  const std::string& LastStatus() const { return lastStatus_; }

  // Ends a progress line left on the terminal, before other output.
  void EndProgressLine();

 private:
  std::FILE* status_;
  bool interactive_;
  bool quiet_ = false;
  bool progressShown_ = false;
  std::string lastStatus_;
  std::vector<std::vector<std::string>> rows_;
};
