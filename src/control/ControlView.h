#pragma once

#include <string>
#include <vector>

// What Control needs of the window it serves. The Qt window implements it, as
// do the command-line front end and the tests' recording view. Control calls
// it from whichever thread runs the operation; an implementation that owns
// widgets hands the calls to its own thread, keeping their order.
// All texts are Shift-JIS bytes.
class ControlView {
 public:
  virtual ~ControlView() = default;

  // Replaces the status line's text; it may hold a line feed.
  virtual void SetStatusText(const std::string& text) = 0;

  // false when a long operation starts (only Abort stays usable), true when it ends.
  virtual void EnableControls(bool enable) = 0;

  // Removes all result rows.
  virtual void ClearRows() = 0;

  // Appends one result row: title, poster, id, difference.
  virtual void AddRow(const std::vector<std::string>& texts) = 0;
};

// A view that shows nothing: for measuring and exercising operations without
// a window.
class NullView : public ControlView {
 public:
  void SetStatusText(const std::string&) override {}
  void EnableControls(bool) override {}
  void ClearRows() override {}
  void AddRow(const std::vector<std::string>&) override {}
};
