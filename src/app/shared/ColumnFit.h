#pragma once

#include <vector>

// The widths of a list's columns for the room its viewport has: each column
// its own width, one column (`fitted`, -1 for none) at least as wide as its
// widest text, and room left over shared among the other columns in
// proportion to their widths. Never narrower than the given widths, so a
// list with too little room scrolls. No toolkit.
std::vector<int> FitColumnWidths(const std::vector<int>& widths, int fitted, int fittedText, int room);

// The width to keep for column `column` after the user has made it `shown`
// pixels wide while it had grown by `shown` minus `fittedBefore`: what it
// got from the shared room is given back, so that the next fit starts from
// the user's choice. At least 1.
int ColumnWidthToKeep(int kept, int fittedBefore, int shown);
