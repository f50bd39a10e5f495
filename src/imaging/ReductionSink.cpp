#include "imaging/ReductionSink.h"

#include <algorithm>
#include <system_error>

ReductionSink::ReductionSink(SizeChooser chooser, ResampleKernel kernel, bool threaded)
    : chooser_(std::move(chooser)), kernel_(kernel), threadedAllowed_(threaded) {}

ReductionSink::~ReductionSink() { Stop(); }

bool ReductionSink::Begin(const RowLayout& layout) {
  layout_ = layout;
  const auto size = chooser_(layout);
  width_ = size.first;
  height_ = size.second;
  if (width_ < 1 || height_ < 1) return false;
  resampler_ = std::make_unique<RowResampler>(layout, width_, height_, kernel_);
  rowBytes_ = layout.RowBytes();
  const std::uint64_t pixels = static_cast<std::uint64_t>(layout.width) * static_cast<std::uint64_t>(layout.height);
  threaded_ = threadedAllowed_ && pixels >= kThreadedPixels && std::thread::hardware_concurrency() >= 2;
  if (threaded_) {
    rowsPerBlock_ = static_cast<int>(std::max<std::size_t>(1, kBlockBytes / rowBytes_));
    rows_.resize(rowBytes_ * static_cast<std::size_t>(rowsPerBlock_) * kBlocks);
    blockRows_.assign(kBlocks, 0);
    try {
      worker_ = std::thread([this] { ReduceBlocks(); });
      return true;
    } catch (const std::system_error&) {
      threaded_ = false;  // no thread to be had: reduce on this one
    }
  }
  rowsPerBlock_ = 1;
  rows_.assign(rowBytes_, 0);
  rows_.shrink_to_fit();
  blockRows_.assign(1, 0);
  return true;
}

void* ReductionSink::NextRow() {
  const std::size_t block = threaded_ ? static_cast<std::size_t>(published_ % kBlocks) : 0;
  return rows_.data() + (block * static_cast<std::size_t>(rowsPerBlock_) + static_cast<std::size_t>(filling_)) * rowBytes_;
}

void ReductionSink::CommitRow() {
  if (!threaded_) {
    resampler_->AddRow(rows_.data());
    return;
  }
  if (++filling_ == rowsPerBlock_) Publish();
}

void ReductionSink::Publish() {
  std::unique_lock lock(mutex_);
  blockRows_[static_cast<std::size_t>(published_ % kBlocks)] = filling_;
  ++published_;
  filling_ = 0;
  if (consumerWaits_) changed_.notify_all();
  // The next block to fill must be free again.
  while (published_ - reduced_ >= static_cast<std::uint64_t>(kBlocks)) {
    producerWaits_ = true;
    changed_.wait(lock);
    producerWaits_ = false;
  }
}

void ReductionSink::ReduceBlocks() {
  for (;;) {
    std::size_t block;
    int count;
    {
      std::unique_lock lock(mutex_);
      while (!closing_ && reduced_ == published_) {
        consumerWaits_ = true;
        changed_.wait(lock);
        consumerWaits_ = false;
      }
      if (reduced_ == published_) return;  // closing, nothing left
      block = static_cast<std::size_t>(reduced_ % kBlocks);
      count = blockRows_[block];
    }
    const std::uint8_t* first = rows_.data() + block * static_cast<std::size_t>(rowsPerBlock_) * rowBytes_;
    for (int r = 0; r < count; ++r) resampler_->AddRow(first + static_cast<std::size_t>(r) * rowBytes_);
    {
      std::lock_guard lock(mutex_);
      ++reduced_;
      if (producerWaits_) changed_.notify_all();
    }
  }
}

void ReductionSink::Stop() {
  if (!worker_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

std::vector<std::uint32_t> ReductionSink::Finish(int* width, int* height) {
  if (threaded_ && filling_ > 0) {
    std::lock_guard lock(mutex_);
    blockRows_[static_cast<std::size_t>(published_ % kBlocks)] = filling_;
    ++published_;
    filling_ = 0;
  }
  Stop();  // the reduction thread drains what was published, then ends
  if (!resampler_ || resampler_->RowsAdded() != layout_.height) return {};
  if (width) *width = width_;
  if (height) *height = height_;
  return resampler_->Finish();
}
