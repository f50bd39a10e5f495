#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "imaging/Resampler.h"
#include "imaging/RowSink.h"

// A RowSink that resizes the picture as its rows arrive (RowResampler), so a
// picture is never held whole. For pictures of a megapixel or more the
// resize can run on a second thread (see Thread): the decoder fills blocks
// of rows, which the reduction thread takes in order, so decoding and
// reducing overlap. The resampler belongs to whichever side claims it for
// one block: when all blocks are full, or the decode is done, the decoder
// reduces the oldest block itself instead of waiting for a thread the
// machine is not running just then. The result is the same either way.
//
// Threads: the decoder calls the RowSink side; the owner calls Finish after
// the decoder returned. The reduction thread, if any, is joined by Finish or
// by the destructor (a decoder that failed part way just stops).
class ReductionSink : public RowSink {
 public:
  // Chooses the destination size once the picture's is known (width, height >= 1).
  using SizeChooser = std::function<std::pair<int, int>(const RowLayout&)>;

  // Memory for rows in flight: about this many bytes per block, kBlocks blocks.
  static constexpr std::size_t kBlockBytes = 64 * 1024;
  static constexpr int kBlocks = 4;
  // Smaller pictures are reduced on the decoder's thread.
  static constexpr std::uint64_t kThreadedPixels = 1'000'000;

  // Whether a picture of kThreadedPixels or more is reduced on a thread of
  // its own: never; when a processor is idle (IdleCores), since a thread
  // that has to take turns with other work only takes time from it, asked
  // at the start and again every kIdleCheckRows rows until one is; or
  // always (tests, benchmarks).
  enum class Thread { kNever, kWhenIdle, kAlways };
  static constexpr int kIdleCheckRows = 256;

  // How many processors are free for the reduction thread, for kWhenIdle:
  // IdleCores when empty; a caller that runs threads of its own may narrow
  // it (and a test stands in for it).
  using IdleProbe = std::function<int()>;

  explicit ReductionSink(SizeChooser chooser, ResampleKernel kernel = ResampleKernel::kSimd,
                         Thread thread = Thread::kWhenIdle, IdleProbe idleCores = {});
  ~ReductionSink() override;
  ReductionSink(const ReductionSink&) = delete;
  ReductionSink& operator=(const ReductionSink&) = delete;

  bool Begin(const RowLayout& layout) override;
  void* NextRow() override;
  void CommitRow() override;

  // After a successful decode: waits for the reduction and returns the
  // resized picture (0xAARRGGBB, top row first) with its size. Empty when
  // the picture's rows did not all arrive.
  std::vector<std::uint32_t> Finish(int* width = nullptr, int* height = nullptr);

 private:
  void StartThread();
  // Hands the block being filled to the reduction; returns its number.
  std::uint64_t HandOverBlock();
  void Publish();
  void ReduceBlocks();
  void Stop();
  bool ReduceOldest();
  template <typename Done>
  void ReduceUntil(Done done);
  template <typename Done>
  bool Poll(Done done, const std::atomic<int>& othersProcessor);
  std::uint64_t Backlog() const;

  SizeChooser chooser_;
  ResampleKernel kernel_;
  Thread thread_;
  IdleProbe idleCores_;
  RowLayout layout_;
  int width_ = 0;
  int height_ = 0;
  std::unique_ptr<RowResampler> resampler_;

  // Rows in flight: kBlocks blocks of rowsPerBlock_ rows each (one block,
  // one row, when not threaded).
  std::vector<std::uint8_t> rows_;
  std::size_t rowBytes_ = 0;
  int rowsPerBlock_ = 1;
  int filling_ = 0;  // rows written into the block being filled
  std::vector<int> blockRows_;

  bool threaded_ = false;
  bool mayStartThread_ = false;  // kWhenIdle, a large picture, no thread yet
  std::thread worker_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<std::uint64_t> published_{0};  // blocks handed over by the decoder
  std::atomic<std::uint64_t> reduced_{0};    // blocks reduced, by either side
  std::atomic<bool> claimed_{false};         // one side is reducing a block
  std::atomic<bool> closing_{false};
  // The reduction thread polls for a while before it sleeps, and the decoder
  // wakes it only when it sleeps and two blocks wait: waking a sleeping core
  // takes longer than the decoder needs to fill a block, so while rows flow
  // no hand-over makes a system call. The price is the second core busy while
  // one picture decodes; polling stops for the picture once this many polls
  // ran out (see Poll).
  std::atomic<int> pollsLeftToRunOut_{3};
  std::atomic<bool> producerWaits_{false};
  std::atomic<bool> consumerWaits_{false};
  // Where each side last ran (CurrentProcessor), for Poll.
  std::atomic<int> producerProcessor_{-1};
  std::atomic<int> consumerProcessor_{-1};
};
