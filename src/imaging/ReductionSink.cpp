#include "imaging/ReductionSink.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "infra/IdleCores.h"
#include "infra/ProcessorPlacement.h"

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

// How long a side polls before it sleeps: the reduction thread for the next
// block, the decoder for a block the thread is in the middle of. Longer than
// the decoder's pause between bursts of rows (a JPEG decodes 16 rows at
// once, then hands them out quickly), so while rows flow neither sleeps.
constexpr std::chrono::microseconds kPoll{2000};

}  // namespace

// Polls `done` for up to kPoll; false if it did not come true. Polling on
// the processor the other side last ran on only keeps that side from running,
// so the poll gives up at once there. A poll that runs out means the other
// thread was not running (the machine is busy with other work): polling then
// only takes a core, so after a few of those both sides sleep at once for the
// rest of the picture.
template <typename Done>
bool ReductionSink::Poll(Done done, const std::atomic<int>& othersProcessor) {
  if (pollsLeftToRunOut_.load(std::memory_order_relaxed) <= 0) return done();
  const auto until = std::chrono::steady_clock::now() + kPoll;
  for (int spins = 1; !done(); ++spins) {
    SpinPause();
    if (spins % 64 != 0) continue;
    const int here = CurrentProcessor();
    if (here >= 0 && here == othersProcessor.load(std::memory_order_relaxed)) return false;
    if (std::chrono::steady_clock::now() >= until) {
      pollsLeftToRunOut_.fetch_sub(1, std::memory_order_relaxed);
      return false;
    }
  }
  return true;
}

ReductionSink::ReductionSink(SizeChooser chooser, ResampleKernel kernel, Thread thread, IdleProbe idleCores)
    : chooser_(std::move(chooser)),
      kernel_(kernel),
      thread_(thread),
      idleCores_(idleCores ? std::move(idleCores) : IdleProbe(&IdleCores)) {}

ReductionSink::~ReductionSink() { Stop(); }

bool ReductionSink::Begin(const RowLayout& layout) {
  layout_ = layout;
  const auto size = chooser_(layout);
  width_ = size.first;
  height_ = size.second;
  if (width_ < 1 || height_ < 1) return false;
  resampler_ = std::make_unique<RowResampler>(layout, width_, height_, kernel_);
  rowBytes_ = layout.RowBytes();
  rowsPerBlock_ = 1;
  rows_.assign(rowBytes_, 0);
  blockRows_.assign(1, 0);
  const std::uint64_t pixels = static_cast<std::uint64_t>(layout.width) * static_cast<std::uint64_t>(layout.height);
  mayStartThread_ = pixels >= kThreadedPixels && thread_ != Thread::kNever;
  if (mayStartThread_ && (thread_ == Thread::kAlways || idleCores_() >= 1)) StartThread();
  return true;
}

void ReductionSink::StartThread() {
  mayStartThread_ = false;
  const int rowsPerBlock = static_cast<int>(std::max<std::size_t>(1, kBlockBytes / rowBytes_));
  std::vector<std::uint8_t> ring(rowBytes_ * static_cast<std::size_t>(rowsPerBlock) * kBlocks);
  try {
    worker_ = std::thread([this] { ReduceBlocks(); });
  } catch (const std::system_error&) {
    return;  // no thread to be had: reduce on this one
  }
  // A new thread often starts on its creator's processor and polls there
  // until the scheduler moves one of them.
  KeepOffCurrentProcessor(worker_);
  // The thread touches the rows only once a block is published.
  rows_.swap(ring);
  rowsPerBlock_ = rowsPerBlock;
  blockRows_.assign(kBlocks, 0);
  threaded_ = true;
}

void* ReductionSink::NextRow() {
  const std::size_t block =
      threaded_ ? static_cast<std::size_t>(published_.load(std::memory_order_relaxed) % kBlocks) : 0;
  return rows_.data() + (block * static_cast<std::size_t>(rowsPerBlock_) + static_cast<std::size_t>(filling_)) * rowBytes_;
}

void ReductionSink::CommitRow() {
  if (threaded_) {
    if (++filling_ == rowsPerBlock_) Publish();
    return;
  }
  resampler_->AddRow(rows_.data());
  // The count of runnable tasks is a snapshot, and a busy one at the start is
  // often a passing task (the process that started this one): look again.
  if (mayStartThread_ && resampler_->RowsAdded() % kIdleCheckRows == 0 && idleCores_() >= 1) StartThread();
}

std::uint64_t ReductionSink::Backlog() const { return published_.load() - reduced_.load(); }

// Sleeping and waking follow one pattern: the side that makes progress
// stores it (sequentially consistent), then looks whether the other side
// announced it sleeps; the sleeper announces first, then looks at the
// progress again under the lock. So either the sleeper sees the progress or
// the other side sees the announcement and wakes it under the lock.

// Reduces the oldest published block unless the other side is reducing one;
// false when it did nothing. The claim orders the resampler's use across the
// two threads (acquired here, released for the next claimer).
bool ReductionSink::ReduceOldest() {
  if (claimed_.exchange(true, std::memory_order_acquire)) return false;
  const std::uint64_t reduced = reduced_.load(std::memory_order_relaxed);
  const bool any = reduced != published_.load();
  if (any) {
    const std::size_t block = static_cast<std::size_t>(reduced % kBlocks);
    const std::uint8_t* first = rows_.data() + block * static_cast<std::size_t>(rowsPerBlock_) * rowBytes_;
    for (int r = 0; r < blockRows_[block]; ++r) resampler_->AddRow(first + static_cast<std::size_t>(r) * rowBytes_);
    reduced_.store(reduced + 1);
  }
  claimed_.store(false);
  // The decoder waits for the claim; a sleeping reduction thread for the
  // claim and two blocks.
  if (producerWaits_.load() || (consumerWaits_.load() && Backlog() >= kBlocks / 2)) {
    std::lock_guard lock(mutex_);
    changed_.notify_all();
  }
  return any;
}

// On the decoder's thread: reduces blocks itself until `done`, waiting only
// while the reduction thread is in the middle of one.
template <typename Done>
void ReductionSink::ReduceUntil(Done done) {
  while (!done()) {
    if (ReduceOldest()) continue;
    if (Poll([&] { return done() || !claimed_.load(); }, consumerProcessor_)) continue;
    std::unique_lock lock(mutex_);
    producerWaits_.store(true);
    while (!done() && claimed_.load()) changed_.wait(lock);
    producerWaits_.store(false);
  }
}

std::uint64_t ReductionSink::HandOverBlock() {
  const std::uint64_t published = published_.load(std::memory_order_relaxed);
  blockRows_[static_cast<std::size_t>(published % kBlocks)] = filling_;
  filling_ = 0;
  published_.store(published + 1);
  return published;
}

void ReductionSink::Publish() {
  const std::uint64_t published = HandOverBlock();
  producerProcessor_.store(CurrentProcessor(), std::memory_order_relaxed);
  if (consumerWaits_.load() && Backlog() >= kBlocks / 2) {
    std::lock_guard lock(mutex_);
    changed_.notify_all();
  }
  // The next block to fill must be free again.
  ReduceUntil([&] { return published + 1 - reduced_.load() < static_cast<std::uint64_t>(kBlocks); });
}

void ReductionSink::ReduceBlocks() {
  // Waits for a block the decoder is not reducing itself.
  const auto ready = [this] { return (Backlog() > 0 && !claimed_.load()) || closing_.load(); };
  while (!closing_.load()) {
    if (!Poll(ready, producerProcessor_)) {
      std::unique_lock lock(mutex_);
      consumerWaits_.store(true);
      while ((Backlog() < kBlocks / 2 || claimed_.load()) && !closing_.load()) changed_.wait(lock);
      consumerWaits_.store(false);
    }
    consumerProcessor_.store(CurrentProcessor(), std::memory_order_relaxed);
    while (!closing_.load() && ReduceOldest()) {
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
  if (threaded_) {
    if (filling_ > 0) HandOverBlock();
    // What is left is reduced here rather than after waking the thread.
    ReduceUntil([&] { return Backlog() == 0; });
  }
  Stop();
  if (!resampler_ || resampler_->RowsAdded() != layout_.height) return {};
  if (width) *width = width_;
  if (height) *height = height_;
  return resampler_->Finish();
}
