#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <thread>

#include "app/ui/QueuedControlView.h"
#include "support/RecordingView.h"

// The queue on Qt's event loop: queued events and the held-back text's timer.
// What is queued and when it is held back is QueuedView's (tests/app/shared).
namespace {

using Kind = RecordingView::Call::Kind;

class QueuedControlViewTest : public ::testing::Test {
 protected:
  // Runs `work` against the queued view on another thread, then lets this
  // thread's event loop deliver what it queued.
  template <typename Work>
  void RunOnWorker(Work work) {
    std::thread worker([&] { work(queued_); });
    worker.join();
    QCoreApplication::processEvents();
  }

  std::vector<Kind> Kinds() const {
    std::vector<Kind> kinds;
    for (const auto& call : target_.Calls()) kinds.push_back(call.kind);
    return kinds;
  }

  RecordingView target_;
  QueuedControlView queued_{target_};
};

TEST_F(QueuedControlViewTest, DeliversCallsInOrderOnItsOwnThread) {
  RunOnWorker([](ControlView& view) {
    view.EnableControls(false);
    view.ClearRows();
    view.SetStatusText("start");
    view.AddRow({"t", "p", "1", "0000"});
    view.SetStatusText("done");
    view.EnableControls(true);
  });
  EXPECT_EQ(Kinds(), (std::vector<Kind>{Kind::kEnable, Kind::kClear, Kind::kStatus, Kind::kRow,
                                        Kind::kStatus, Kind::kEnable}));
  EXPECT_EQ(target_.StatusTexts(), (std::vector<std::string>{"start", "done"}));
  EXPECT_EQ(target_.EnableCalls(), (std::vector<bool>{false, true}));
}

TEST_F(QueuedControlViewTest, AStatusTextRightAfterAnotherIsHeldBackButShown) {
  RunOnWorker([](ControlView& view) { view.SetStatusText("first"); });
  RunOnWorker([](ControlView& view) { view.SetStatusText("second"); });
  EXPECT_TRUE(QTest::qWaitFor([this] { return target_.LastStatus() == "second"; }, 1000));
  EXPECT_EQ(target_.StatusTexts(), (std::vector<std::string>{"first", "second"}));
}

TEST_F(QueuedControlViewTest, FlushShowsAHeldBackTextAtOnce) {
  RunOnWorker([](ControlView& view) { view.SetStatusText("first"); });
  std::thread worker([&] { queued_.SetStatusText("last"); });
  worker.join();
  queued_.Flush();
  EXPECT_EQ("last", target_.LastStatus());
  QTest::qWait(2 * QueuedControlView::kStatusIntervalMs);  // the posted delivery finds nothing more
  EXPECT_EQ(target_.StatusTexts(), (std::vector<std::string>{"first", "last"}));
}

TEST_F(QueuedControlViewTest, NothingIsDeliveredBeforeTheEventLoopRuns) {
  std::thread worker([&] { queued_.SetStatusText("pending"); });
  worker.join();
  EXPECT_TRUE(target_.Calls().empty());
  QCoreApplication::processEvents();
  EXPECT_EQ("pending", target_.LastStatus());
}

}  // namespace
