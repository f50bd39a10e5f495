#include "imaging/TeeRowSink.h"

#include <cstring>

bool TeeRowSink::Begin(const RowLayout& layout) {
  if (!first_.Begin(layout)) return false;
  secondTakes_ = second_.Begin(layout);
  rowBytes_ = layout.RowBytes();
  return true;
}

void* TeeRowSink::NextRow() {
  row_ = first_.NextRow();
  return row_;
}

void TeeRowSink::CommitRow() {
  if (secondTakes_) {
    std::memcpy(second_.NextRow(), row_, rowBytes_);
    second_.CommitRow();
  }
  first_.CommitRow();
}
