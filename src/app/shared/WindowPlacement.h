#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/shared/PixelRect.h"

// Where the main window was and how it was sized when it closed, kept in a
// small settings file of its own in the data directory:
//   [window]
//   left=-1200   top=40        (the frame's position; may be negative)
//   width=1200   height=700    (the client area)
//   maximized=1
//   columns=260,150,100,100    (the list's own column widths)
// Values that are missing, unreadable or out of range are left out one by
// one, so a damaged file costs only what it damaged. No toolkit.
class WindowPlacement {
 public:
  // Sizes and widths past this are not a window's.
  static constexpr int kMaxPixels = 100000;
  // How much of the frame's top strip (where it is grabbed) must be on a
  // screen for the remembered position to be used.
  static constexpr int kGripWidth = 48;
  static constexpr int kGripHeight = 16;
  // The windows keep theirs under this name in the data directory.
  static constexpr const char* kFileName = "window.ini";

  std::optional<PixelRect> frame;  // position of the frame, size of the client area
  bool maximized = false;
  std::vector<int> columns;

  // The placement in `path`; an empty one when the file cannot be read
  // (logged unless it does not exist: the first start has none).
  static WindowPlacement Load(const std::string& path);
  // Writes it to `path` in one replacing rename; false (and a log line) on failure.
  bool Save(const std::string& path) const;

  // Whether a frame at `frame`'s position shows enough of its top strip on
  // one of `screens` to be seen and moved.
  static bool IsOnScreen(const PixelRect& frame, const std::vector<PixelRect>& screens);
};
