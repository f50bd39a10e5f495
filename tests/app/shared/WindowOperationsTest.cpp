#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/RecordingView.h"
#include "app/shared/WindowOperations.h"
#include "control/Control.h"
#include "control/OperationContext.h"

namespace {

// The UI thread's queue, run by hand.
class WindowOperationsTest : public ::testing::Test {
 protected:
  std::unique_ptr<WindowOperations> Make() {
    return std::make_unique<WindowOperations>(
        control_, window_,
        [this](std::function<void()> call) {
          std::lock_guard lock(mutex_);
          posted_.push_back(std::move(call));
        },
        [this] { ++finished_; }, [](const std::string&) {});
  }
  void RunPosted() {
    std::vector<std::function<void()>> calls;
    {
      std::lock_guard lock(mutex_);
      calls.swap(posted_);
    }
    for (auto& call : calls) call();
  }

  RecordingView reported_;  // what Control reports to
  RecordingView window_;
  std::shared_ptr<Control> control_ = std::make_shared<Control>(reported_);
  std::mutex mutex_;
  std::vector<std::function<void()>> posted_;
  int finished_ = 0;
};

TEST_F(WindowOperationsTest, AnOperationThatThrowsLeavesTheWindowUsable) {
  const std::function<void(Control&)> throwers[] = {
      [](Control&) { throw std::runtime_error("broken"); },
      [](Control&) { throw 42; },
  };
  auto operations = Make();
  for (const auto& thrower : throwers) {
    reported_.Forget();
    ASSERT_TRUE(operations->Start(thrower));
    EXPECT_FALSE(operations->Start([](Control&) {}));  // one at a time
    operations->Stop();
    RunPosted();
    EXPECT_EQ(reported_.EnableCalls(), std::vector<bool>{true});
    EXPECT_FALSE(operations->IsBusy());
  }
  EXPECT_EQ(finished_, 2);
}

TEST_F(WindowOperationsTest, StopEndsAnOperationThatArmsItsFlagAfterTheFirstAbort) {
  auto operations = Make();
  ASSERT_TRUE(operations->Start([](Control& control) {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    control.SetRunning(true);
    while (control.Context().running.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }));
  operations->Stop();  // returns: a single Abort would have been lost
  RunPosted();
  EXPECT_FALSE(operations->IsBusy());
}

}  // namespace
