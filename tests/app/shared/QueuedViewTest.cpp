#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "app/shared/QueuedView.h"
#include "support/RecordingView.h"

namespace {

using Kind = RecordingView::Call::Kind;
using std::chrono::milliseconds;
using Texts = std::vector<std::string>;

class QueuedViewTest : public ::testing::Test {
 protected:
  // Runs `work` against the queued view on another thread.
  template <typename Work>
  void RunOnWorker(Work work) {
    std::thread worker([&] { work(static_cast<ControlView&>(queued_)); });
    worker.join();
  }

  std::vector<Kind> Kinds() const {
    std::vector<Kind> kinds;
    for (const auto& call : target_.Calls()) kinds.push_back(call.kind);
    return kinds;
  }

  const QueuedView::Clock::time_point start_ = QueuedView::Clock::now();
  RecordingView target_;
  std::atomic<int> wakes_{0};
  QueuedView queued_{target_, [this] { ++wakes_; }};
};

TEST_F(QueuedViewTest, DeliversCallsInOrderCollapsingRunsOfStatusTexts) {
  RunOnWorker([](ControlView& view) {
    view.EnableControls(false);
    view.ClearRows();
    view.SetStatusText("begin");
    for (int i = 1; i <= 10000; ++i) view.SetStatusText("progress " + std::to_string(i));
    view.AddRow({"t", "p", "1", "0000"});
    view.SetStatusText("end");
    view.EnableControls(true);
  });
  EXPECT_TRUE(target_.Calls().empty());  // nothing before the UI thread delivers
  EXPECT_EQ(wakes_, 1);                   // one wake for the whole batch
  EXPECT_EQ(queued_.Deliver(start_), milliseconds(0));
  EXPECT_EQ(Kinds(), (std::vector<Kind>{Kind::kEnable, Kind::kClear, Kind::kStatus, Kind::kRow, Kind::kStatus,
                                        Kind::kEnable}));
  EXPECT_EQ(target_.StatusTexts(), (Texts{"progress 10000", "end"}));
  EXPECT_EQ(target_.EnableCalls(), (std::vector<bool>{false, true}));
  RunOnWorker([](ControlView& view) { view.ClearRows(); });
  EXPECT_EQ(wakes_, 2);  // the next call wakes again
}

// A lone status text within the interval of the last one shown waits for
// the rest of it; anything else in its batch goes at once.
TEST_F(QueuedViewTest, AStatusTextRightAfterAnotherIsHeldBackOnlyWhenAlone) {
  struct Case {
    const char* name;
    std::function<void(ControlView&)> second;
    milliseconds after;  // since the first text was shown
    milliseconds wait;   // what Deliver asks
    Texts shown;
  };
  const Case cases[] = {
      {"alone, soon", [](ControlView& v) { v.SetStatusText("second"); }, milliseconds(5), milliseconds(11), {"first"}},
      {"alone, late", [](ControlView& v) { v.SetStatusText("second"); }, milliseconds(16), milliseconds(0),
       {"first", "second"}},
      {"with a row", [](ControlView& v) { v.SetStatusText("second"); v.AddRow({"r"}); }, milliseconds(1),
       milliseconds(0), {"first", "second"}},
      {"with enable", [](ControlView& v) { v.SetStatusText("second"); v.EnableControls(true); }, milliseconds(1),
       milliseconds(0), {"first", "second"}},
  };
  auto shownAt = start_;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    target_.Forget();
    shownAt += std::chrono::seconds(1);
    RunOnWorker([](ControlView& view) { view.SetStatusText("first"); });
    ASSERT_EQ(queued_.Deliver(shownAt), milliseconds(0));
    RunOnWorker(c.second);
    EXPECT_EQ(queued_.Deliver(shownAt + c.after), c.wait);
    EXPECT_EQ(target_.StatusTexts(), c.shown);
    // The held-back text is shown when asked again after the wait.
    EXPECT_EQ(queued_.Deliver(shownAt + c.after + c.wait), milliseconds(0));
    EXPECT_EQ(target_.LastStatus(), "second");
  }
}

TEST_F(QueuedViewTest, FlushShowsAHeldBackTextAtOnceAndTheDueDeliveryFindsNothing) {
  RunOnWorker([](ControlView& view) { view.SetStatusText("first"); });
  queued_.Deliver(start_);
  RunOnWorker([](ControlView& view) { view.SetStatusText("last"); });
  ASSERT_GT(queued_.Deliver(start_ + milliseconds(1)), milliseconds(0));
  queued_.Flush(start_ + milliseconds(2));
  EXPECT_EQ(target_.StatusTexts(), (Texts{"first", "last"}));
  EXPECT_EQ(queued_.Deliver(start_ + milliseconds(20)), milliseconds(0));
  EXPECT_EQ(target_.StatusTexts(), (Texts{"first", "last"}));
  // The delivery has ended: the next call wakes the window again.
  const int wakes = wakes_;
  RunOnWorker([](ControlView& view) { view.ClearRows(); });
  EXPECT_EQ(wakes_, wakes + 1);
}

}  // namespace
