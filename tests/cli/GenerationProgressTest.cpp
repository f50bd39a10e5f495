#include "cli/GenerationProgress.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/TempDirectory.h"

namespace {

using Clock = GenerationProgress::Clock;
using std::chrono::milliseconds;

// Which ids print a line: every 100th, and the first one 10 s or more after
// the last line.
TEST(GenerationProgressTest, LinesComeEveryHundredIdsOrTenSeconds) {
  const struct {
    std::int64_t id;
    int atMs;  // since the start
    bool printed;
  } steps[] = {
      {1, 10, false},    {99, 9999, false},  {100, 10000, true}, {101, 19999, false},
      {102, 20000, true}, {103, 20001, false}, {199, 29000, false}, {200, 29001, true},
      {201, 39001, true}, {300, 39002, true},
  };
  TempDirectory dir;
  std::FILE* out = std::fopen(dir.File("out").c_str(), "wb+");
  ASSERT_NE(out, nullptr);
  const Clock::time_point start{};
  GenerationProgress progress(out, start);
  GenerationTally tally;
  tally.start = 1;
  tally.end = 1000;
  std::vector<std::string> expected;
  for (const auto& step : steps) {
    tally.idsDone = step.id;
    progress.AfterId(tally, start + milliseconds(step.atMs));
    if (step.printed) expected.push_back(GenerationProgress::ProgressLine(tally, step.atMs / 1000.0));
  }
  std::fclose(out);
  std::string text;
  for (const std::string& line : expected) text += line + "\n";
  EXPECT_EQ(ReadWholeFile(dir.File("out")), text);
}

TEST(GenerationProgressTest, LinesNameEveryCount) {
  GenerationTally tally;
  tally.start = 11;
  tally.end = 30;
  tally.idsDone = 20;
  tally.signaturesAdded = 3;
  tally.refreshed = 4;
  tally.pageFetchFailed = 5;
  tally.noTitle = 2;
  tally.pageIncomplete = 1;
  tally.imageFetchFailed = 6;
  tally.imageUnreadable = 7;
  tally.localFileFailed = 8;
  EXPECT_EQ(GenerationProgress::ProgressLine(tally, 12.34),
            "progress: 20/20 ids (up to id 30), 3 new signatures, 29 failed, 12.3 s");
  EXPECT_EQ(GenerationProgress::SummaryLine(tally, false, 1.0),
            "summary: 20/20 ids done in 1.0 s; records not saved, 3 new signatures, 4 refreshed; failures: 5 page "
            "fetch failed, 2 no title (deleted), 1 page incomplete, 6 image fetch failed, 7 image unreadable, 8 not "
            "saved locally");
  tally.idsDone = 5;
  tally.recordsSaved = 0;
  EXPECT_EQ(GenerationProgress::SummaryLine(tally, true, 0.0)
                .rfind("summary: 5/20 ids done (stopped) in 0.0 s; 0 records saved, ", 0),
            0u);
}

}  // namespace
