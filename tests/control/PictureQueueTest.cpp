#include "control/PictureQueue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>

#include "control/CheckDisplay.h"
#include "control/Control.h"
#include "infra/Platform.h"
#include "infra/TextEncoding.h"
#include "search/CacheTable.h"
#include "support/CacheFileWriter.h"
#include "support/ProgramDirectoryTest.h"
#include "support/RecordingView.h"

namespace {

using Mark = PictureQueue::Mark;

class PictureQueueTest : public ProgramDirectoryTest {
 protected:
  void SetUp() override {
    ProgramDirectoryTest::SetUp();
    {
      CacheFileWriter cache(PathOf("cache.db"));
      cache.Add(Uniform(40));
      cache.Add(Uniform(200));
    }
    control_.LoadCache();
    std::filesystem::create_directories(PathOf("folder/sub"));
    WriteUniformPicture(PathOf("folder/sub/b.png"), 200);  // posted as row 2
    WriteUniformPicture(PathOf("folder/a.png"), 100);      // far from both, nearer row 1: new
    WriteWholeFile(PathOf("folder/notes.txt"), "not a picture, not queued");
    WriteWholeFile(PathOf("broken.png"), "\x89PNG\r\n\x1A\n and then nothing");
    WriteUniformPicture(PathOf("first.png"), 40);  // posted as row 1
  }

  // A folder's entries are named with the system's separator.
  std::string JoinPath(std::initializer_list<std::string> names) const {
    std::string path = PathOf("");
    path.pop_back();
    for (const std::string& name : names) path = platform::JoinPath(path, name);
    return path;
  }

  std::vector<Mark> Marks() const {
    std::vector<Mark> marks;
    for (std::size_t i = 0; i < queue_.Size(); ++i) marks.push_back(queue_.MarkAt(i));
    return marks;
  }

  RecordingView view_;
  Control control_{view_};
  PictureQueue queue_;
};

// A named file as it is (an unreadable one too), a folder's pictures in name
// order, recursively; each entry's result kept with its verdict.
TEST_F(PictureQueueTest, ChecksEveryPictureInOrderKeepingEachResult) {
  ASSERT_EQ(4u, queue_.FillFrom({PathOf("first.png"), PathOf("broken.png"), PathOf("folder")}));
  EXPECT_EQ(std::vector<Mark>(4, Mark::kWaiting), Marks());
  std::vector<std::pair<std::size_t, Mark>> changes;
  control_.SetRunning(true);
  EXPECT_EQ(4u, control_.CheckQueue(queue_, [&](std::size_t i) { changes.push_back({i, queue_.MarkAt(i)}); }));
  EXPECT_FALSE(control_.IsRunning());

  struct Expected {
    std::string shown;
    Mark mark;
    std::string entryId;  // the verdict's entry
  };
  const Expected expected[] = {{PathOf("first.png"), Mark::kPosted, "1"},
                               {PathOf("broken.png"), Mark::kError, ""},
                               {JoinPath({"folder", "a.png"}), Mark::kNew, "1"},
                               {JoinPath({"folder", "sub", "b.png"}), Mark::kPosted, "2"}};
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const PictureQueue::Entry entry = queue_.At(i);
    EXPECT_EQ(expected[i].shown, entry.picture.shown) << i;
    EXPECT_EQ(expected[i].mark, PictureQueue::MarkOf(entry)) << i;
    using Changes = std::vector<std::pair<std::size_t, Mark>>;
    EXPECT_EQ((Changes{{i, Mark::kChecking}, {i, expected[i].mark}}),
              Changes(changes.begin() + 2 * i, changes.begin() + 2 * i + 2));
    if (!entry.check.read) continue;
    EXPECT_EQ(expected[i].entryId, control_.Table()->Id(entry.check.decision.entry.row)) << i;
    EXPECT_EQ(2u, entry.check.match.hits.size()) << i;
  }
  // An entry kept shows as a fresh search would, unreadable ones with why.
  view_.Forget();
  CheckDisplay::Show(view_, control_.Table(), queue_.At(3).check);
  ASSERT_EQ(2u, view_.Rows().size());
  EXPECT_EQ("2", view_.Rows()[0][2]);
  CheckDisplay::Show(view_, control_.Table(), queue_.At(1).check);
  EXPECT_EQ(SjisText(u8"画像を読み込めませんでした").str() + "\n", view_.LastStatus().substr(0, 27));
}

// Abort during an entry lets it finish and leaves the rest not checked; no
// table leaves every entry not checked.
TEST_F(PictureQueueTest, StoppingLeavesTheRestNotChecked) {
  struct Case {
    bool table;
    std::size_t abortAfter;  // entries checked before Abort
    std::vector<Mark> marks;
  };
  const Case cases[] = {
      {true, 1, {Mark::kPosted, Mark::kNotChecked, Mark::kNotChecked}},
      {true, 2, {Mark::kPosted, Mark::kError, Mark::kNotChecked}},
      {false, 9, {Mark::kNotChecked, Mark::kNotChecked, Mark::kNotChecked}},
  };
  for (const Case& c : cases) {
    queue_.FillFrom({PathOf("first.png"), PathOf("broken.png"), PathOf("folder/a.png")});
    std::atomic<bool> running{true};
    std::size_t done = 0;
    const std::size_t checked = queue_.Run(c.table ? control_.Table() : nullptr, running, [&](std::size_t i) {
      if (queue_.At(i).state == PictureQueue::State::kChecked && ++done == c.abortAfter) running.store(false);
    });
    EXPECT_EQ(c.marks, Marks()) << c.abortAfter;
    EXPECT_EQ(c.table ? c.abortAfter : 0u, checked);
  }
}

}  // namespace
