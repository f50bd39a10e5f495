#include "app/shared/ColumnFit.h"

#include <algorithm>

std::vector<int> FitColumnWidths(const std::vector<int>& widths, int fitted, int fittedText, int room) {
  std::vector<int> result = widths;
  for (int& width : result) width = std::max(0, width);
  const int count = static_cast<int>(result.size());
  if (fitted >= 0 && fitted < count) result[fitted] = std::max(result[fitted], fittedText);
  long long used = 0;
  long long shared = 0;  // the widths the spare room is shared by
  for (int column = 0; column < count; ++column) {
    used += result[column];
    if (column != fitted) shared += result[column];
  }
  const long long spare = room - used;
  if (spare <= 0 || shared <= 0) return result;
  long long given = 0;
  int first = -1;
  for (int column = 0; column < count; ++column) {
    if (column == fitted) continue;
    if (first < 0) first = column;
    const long long part = spare * result[column] / shared;
    result[column] += static_cast<int>(part);
    given += part;
  }
  // What the rounding down left goes to the first shared column.
  result[first] += static_cast<int>(spare - given);
  return result;
}

int ColumnWidthToKeep(int kept, int fittedBefore, int shown) {
  return std::max(1, shown - std::max(0, fittedBefore - kept));
}
