#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/shared/OperationRunner.h"

namespace {

// The UI thread's queue, run by hand.
class PostedQueue {
 public:
  void Post(std::function<void()> call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  // Runs the calls posted so far; how many.
  int Run() {
    std::deque<std::function<void()>> calls;
    {
      std::lock_guard lock(mutex_);
      calls.swap(calls_);
    }
    for (auto& call : calls) call();
    return static_cast<int>(calls.size());
  }

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> calls_;
};

TEST(OperationRunnerTest, RunsOneOperationAtATimeAndFinishesAfterWhatItPosted) {
  PostedQueue queue;
  std::vector<std::string> seen;
  OperationRunner runner([&](std::function<void()> call) { queue.Post(std::move(call)); },
                         [&] { seen.push_back("finished"); });
  std::atomic<bool> release{false};
  ASSERT_TRUE(runner.Start([&] {
    while (!release) std::this_thread::yield();
    queue.Post([&] { seen.push_back("posted by the work"); });
  }));
  EXPECT_TRUE(runner.IsBusy());
  EXPECT_FALSE(runner.Start([] {}));  // one at a time
  release = true;
  runner.Wait();
  EXPECT_TRUE(runner.IsBusy());  // until the completion has run on the UI thread
  EXPECT_EQ(queue.Run(), 2);
  EXPECT_EQ(seen, (std::vector<std::string>{"posted by the work", "finished"}));
  EXPECT_FALSE(runner.IsBusy());
  // The next operation reuses the runner.
  ASSERT_TRUE(runner.Start([] {}));
  runner.Wait();
  queue.Run();
  EXPECT_EQ(seen.size(), 3u);
}

TEST(OperationRunnerTest, DestroyingTheRunnerWaitsForTheWork) {
  PostedQueue queue;
  std::atomic<bool> done{false};
  {
    OperationRunner runner([&](std::function<void()> call) { queue.Post(std::move(call)); }, [] {});
    runner.Start([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      done = true;
    });
  }
  EXPECT_TRUE(done);
}

}  // namespace
