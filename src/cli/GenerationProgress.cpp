#include "cli/GenerationProgress.h"

namespace {

std::int64_t RangeSize(const GenerationTally& tally) { return tally.end - tally.start + 1; }

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

}  // namespace

void GenerationProgress::AfterId(const GenerationTally& tally, Clock::time_point now) {
  const bool countDue = everyIds_ > 0 && tally.idsDone % everyIds_ == 0;
  if (!countDue && now - lastLine_ < interval_) return;
  lastLine_ = now;
  const std::string line = ProgressLine(tally, std::chrono::duration<double>(now - started_).count());
  std::fprintf(out_, "%s\n", line.c_str());
  std::fflush(out_);
}

void GenerationProgress::Summary(const GenerationTally& tally, bool stopped, Clock::time_point now) const {
  const std::string line = SummaryLine(tally, stopped, std::chrono::duration<double>(now - started_).count());
  std::fprintf(out_, "%s\n", line.c_str());
  std::fflush(out_);
}

std::string GenerationProgress::ProgressLine(const GenerationTally& tally, double seconds) {
  return "progress: " + std::to_string(tally.idsDone) + "/" + std::to_string(RangeSize(tally)) + " ids (up to id " +
         std::to_string(tally.start + tally.idsDone - 1) + "), " + std::to_string(tally.signaturesAdded) +
         " new signatures, " + std::to_string(tally.Failures()) + " failed, " + Seconds(seconds);
}

std::string GenerationProgress::SummaryLine(const GenerationTally& tally, bool stopped, double seconds) {
  std::string line = "summary: " + std::to_string(tally.idsDone) + "/" + std::to_string(RangeSize(tally)) +
                     " ids done" + (stopped ? " (stopped)" : "") + " in " + Seconds(seconds) + "; ";
  line += tally.recordsSaved < 0 ? std::string("records not saved")
                                 : std::to_string(tally.recordsSaved) + " records saved";
  line += ", " + std::to_string(tally.signaturesAdded) + " new signatures, " + std::to_string(tally.refreshed) +
          " refreshed; failures: " + std::to_string(tally.pageFetchFailed) + " page fetch failed, " +
          std::to_string(tally.noTitle) + " no title (deleted), " + std::to_string(tally.pageIncomplete) +
          " page incomplete, " + std::to_string(tally.imageFetchFailed) + " image fetch failed, " +
          std::to_string(tally.imageUnreadable) + " image unreadable, " + std::to_string(tally.localFileFailed) +
          " not saved locally";
  return line;
}
