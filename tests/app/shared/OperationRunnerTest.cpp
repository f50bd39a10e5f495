#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/shared/OperationRunner.h"

namespace {

TEST(OperationRunnerTest, RunsOneOperationAtATimeAndFinishesAfterWhatItPosted) {
  // The UI thread's queue, run by hand.
  std::mutex mutex;
  std::vector<std::function<void()>> posted;
  const auto post = [&](std::function<void()> call) {
    std::lock_guard lock(mutex);
    posted.push_back(std::move(call));
  };
  const auto runPosted = [&] {
    for (auto& call : std::exchange(posted, {})) call();
  };
  std::vector<std::string> seen;
  OperationRunner runner(post, [&] { seen.push_back("finished"); });
  std::atomic<bool> release{false};
  ASSERT_TRUE(runner.Start([&] {
    while (!release) std::this_thread::yield();
    post([&] { seen.push_back("posted by the work"); });
  }));
  EXPECT_FALSE(runner.Start([] {}));  // one at a time
  release = true;
  runner.Wait();
  EXPECT_TRUE(runner.IsBusy());  // until the completion has run on the UI thread
  runPosted();
  EXPECT_EQ(seen, (std::vector<std::string>{"posted by the work", "finished"}));
  EXPECT_FALSE(runner.IsBusy());
  // A runner destroyed while its work runs waits for it (the completion it
  // posts is never run, as a window's events go with the window).
  std::atomic<bool> done{false};
  {
    OperationRunner other(post, [] {});
    ASSERT_TRUE(other.Start([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      done = true;
    }));
  }
  EXPECT_TRUE(done);
}

}  // namespace
