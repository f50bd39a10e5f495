#pragma once

#include "imaging/RowSink.h"

// Hands every row a decoder writes to two sinks, so that one decode feeds
// two reductions (the signature and a larger copy, say). The first sink's
// buffer takes the row; the second gets a copy. A second sink that refuses
// the picture is left out; the first decides. Both must outlive this one.
class TeeRowSink : public RowSink {
 public:
  TeeRowSink(RowSink& first, RowSink& second) : first_(first), second_(second) {}

  bool Begin(const RowLayout& layout) override;
  void* NextRow() override;
  void CommitRow() override;

 private:
  RowSink& first_;
  RowSink& second_;
  bool secondTakes_ = false;
  std::size_t rowBytes_ = 0;
  void* row_ = nullptr;
};
