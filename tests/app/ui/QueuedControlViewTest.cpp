#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <thread>

#include "app/ui/QueuedControlView.h"
#include "support/RecordingView.h"

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

TEST_F(QueuedControlViewTest, CollapsesARunOfStatusTextsToItsLast) {
  RunOnWorker([](ControlView& view) {
    view.SetStatusText("begin");
    view.EnableControls(false);
    for (int i = 1; i <= 10000; ++i) view.SetStatusText("progress " + std::to_string(i));
    view.AddRow({"t", "p", "1", "0000"});
    view.SetStatusText("end");
  });
  EXPECT_EQ(target_.StatusTexts(), (std::vector<std::string>{"begin", "progress 10000", "end"}));
  EXPECT_EQ(1u, target_.Rows().size());
}

TEST_F(QueuedControlViewTest, AStatusTextRightAfterAnotherIsHeldBackButShown) {
  RunOnWorker([](ControlView& view) { view.SetStatusText("first"); });
  RunOnWorker([](ControlView& view) { view.SetStatusText("second"); });
  EXPECT_TRUE(QTest::qWaitFor([this] { return target_.LastStatus() == "second"; }, 1000));
  EXPECT_EQ(target_.StatusTexts(), (std::vector<std::string>{"first", "second"}));
}

TEST_F(QueuedControlViewTest, RowsAndEnableCallsAreNotHeldBack) {
  RunOnWorker([](ControlView& view) { view.SetStatusText("first"); });
  RunOnWorker([](ControlView& view) {
    view.SetStatusText("second");
    view.EnableControls(true);
  });
  EXPECT_EQ(target_.StatusTexts(), (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(target_.EnableCalls(), (std::vector<bool>{true}));
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
