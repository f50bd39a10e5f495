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

  // After a search's rows: the status text with the verdict on its second
  // line, and when the verdict's entry was found by another comparison than
  // the plain difference, that entry as a row (title, poster, id, difference
  // marked with how it matched) to show first; otherwise `markedRow` is
  // empty. Views that show no verdict (the terminal's) ignore it.
  virtual void ShowVerdict(const std::string& /*statusText*/, const std::vector<std::string>& /*markedRow*/) {}
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
