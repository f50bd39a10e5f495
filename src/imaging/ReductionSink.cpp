#include "imaging/ReductionSink.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "infra/IdleCores.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace {

inline void SpinPause() {
#if defined(__SSE2__)
  _mm_pause();
#else
  std::this_thread::yield();
#endif
}

// How long either side polls before it sleeps: longer than the decoder's
// pause between bursts of rows (a JPEG decodes 16 rows at once, then hands
// them out quickly), so while a picture is decoded neither side sleeps.
constexpr std::chrono::microseconds kPoll{2000};

}  // namespace

// Polls `done` for up to kPoll; false if it did not come true. A poll that
// runs out means the other thread was not running (the machine is busy with
// other work): polling then only takes its core, so after a few of those
// both sides sleep at once for the rest of the picture.
template <typename Done>
bool ReductionSink::Poll(Done done) {
  if (pollsLeftToRunOut_.load(std::memory_order_relaxed) <= 0) return done();
  const auto until = std::chrono::steady_clock::now() + kPoll;
  for (int spins = 1; !done(); ++spins) {
    SpinPause();
    if (spins % 64 == 0 && std::chrono::steady_clock::now() >= until) {
      pollsLeftToRunOut_.fetch_sub(1, std::memory_order_relaxed);
      return false;
    }
  }
  return true;
}

ReductionSink::ReductionSink(SizeChooser chooser, ResampleKernel kernel, Thread thread)
    : chooser_(std::move(chooser)), kernel_(kernel), thread_(thread) {}

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
  threaded_ = pixels >= kThreadedPixels &&
              (thread_ == Thread::kAlways || (thread_ == Thread::kWhenIdle && IdleCores() >= 1));
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
  const std::size_t block =
      threaded_ ? static_cast<std::size_t>(published_.load(std::memory_order_relaxed) % kBlocks) : 0;
  return rows_.data() + (block * static_cast<std::size_t>(rowsPerBlock_) + static_cast<std::size_t>(filling_)) * rowBytes_;
}

void ReductionSink::CommitRow() {
  if (!threaded_) {
    resampler_->AddRow(rows_.data());
    return;
  }
  if (++filling_ == rowsPerBlock_) Publish();
}

// Both sides follow the same pattern: publish the count (sequentially
// consistent), then look whether the other side announced it sleeps; the
// sleeper announces first, then looks at the count again under the lock.
// So either the sleeper sees the new count or the publisher sees the
// announcement and wakes it under the lock.
void ReductionSink::Publish() {
  const std::uint64_t published = published_.load(std::memory_order_relaxed);
  blockRows_[static_cast<std::size_t>(published % kBlocks)] = filling_;
  filling_ = 0;
  published_.store(published + 1);
  if (consumerWaits_.load()) {
    std::lock_guard lock(mutex_);
    changed_.notify_all();
  }
  // The next block to fill must be free again.
  const auto free = [&] { return published + 1 - reduced_.load() < static_cast<std::uint64_t>(kBlocks); };
  if (Poll(free)) return;
  std::unique_lock lock(mutex_);
  producerWaits_.store(true);
  while (!free()) changed_.wait(lock);
  producerWaits_.store(false);
}

bool ReductionSink::AwaitBlock() {
  const auto ready = [this] { return published_.load() != reduced_.load(std::memory_order_relaxed); };
  if (Poll([&] { return ready() || closing_.load(); })) return ready();
  std::unique_lock lock(mutex_);
  consumerWaits_.store(true);
  while (!ready() && !closing_.load()) changed_.wait(lock);
  consumerWaits_.store(false);
  return ready();
}

void ReductionSink::ReduceBlocks() {
  while (AwaitBlock()) {
    const std::uint64_t reduced = reduced_.load(std::memory_order_relaxed);
    const std::size_t block = static_cast<std::size_t>(reduced % kBlocks);
    const int count = blockRows_[block];
    const std::uint8_t* first = rows_.data() + block * static_cast<std::size_t>(rowsPerBlock_) * rowBytes_;
    for (int r = 0; r < count; ++r) resampler_->AddRow(first + static_cast<std::size_t>(r) * rowBytes_);
    reduced_.store(reduced + 1);
    if (producerWaits_.load()) {
      std::lock_guard lock(mutex_);
      changed_.notify_all();
    }
  }
}

void ReductionSink::Stop() {
  if (!worker_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    closing_.store(true);
  }
  changed_.notify_all();
  worker_.join();
}

std::vector<std::uint32_t> ReductionSink::Finish(int* width, int* height) {
  if (threaded_ && filling_ > 0) {
    const std::uint64_t published = published_.load(std::memory_order_relaxed);
    blockRows_[static_cast<std::size_t>(published % kBlocks)] = filling_;
    filling_ = 0;
    published_.store(published + 1);
  }
  Stop();  // the reduction thread drains what was published, then ends
  if (!resampler_ || resampler_->RowsAdded() != layout_.height) return {};
  if (width) *width = width_;
  if (height) *height = height_;
  return resampler_->Finish();
}
