#pragma once

#include <string>
#include <vector>

// The result list's columns, the same in both windows: title, poster, id,
// difference.
class ResultColumns {
 public:
  static constexpr int kId = 2;
  // Fits its widest text: a verdict's mark follows the number.
  static constexpr int kDifference = 3;

  // The titles, Shift-JIS, in column order.
  static std::vector<std::string> Titles();
  // The widths a new window starts with, in 96-dpi pixels.
  static std::vector<int> DefaultWidths();
  // The id in a row's texts; empty when the row has none.
  static std::string IdOf(const std::vector<std::string>& texts);
};
