#include "app/shared/QueueDisplay.h"

#include "control/CheckDisplay.h"
#include "control/ControlView.h"
#include "control/QueryPicture.h"

namespace {

// The entry's check is done (its confirmation may still run).
bool HasCheck(const PictureQueue::Entry& entry) {
  return entry.state == PictureQueue::State::kChecked || entry.state == PictureQueue::State::kConfirming;
}

}  // namespace

std::vector<std::string> QueueDisplay::Filled(const PictureQueue& queue, ControlView& view) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < queue.Size(); ++i) names.push_back(queue.At(i).picture.shown);
  // Folders without a single picture.
  if (names.empty()) view.SetStatusText(QueryPicture::StatusText(QueryPicture::Outcome::kNotAPicture));
  return names;
}

bool QueueDisplay::ShowEntry(const PictureQueue& queue, std::size_t index, ControlView& view,
                             const CacheTable* table) {
  view.ClearRows();
  if (index >= queue.Size()) return false;
  const PictureQueue::Entry entry = queue.At(index);
  if (!HasCheck(entry)) {
    view.SetStatusText(PictureQueue::Label(PictureQueue::MarkOf(entry)));
    return false;
  }
  // As the search and its confirmation showed it, from the results kept:
  // nothing is searched or fetched.
  CheckDisplay::Show(view, table, entry.check);
  if (table != nullptr && entry.check.read) {
    if (entry.state == PictureQueue::State::kConfirming) {
      view.SetStatusText(CheckDisplay::ConfirmingStatus(*table, entry.check));
    } else {
      CheckDisplay::ShowConfirmation(view, *table, entry.check, entry.confirmation);
    }
  }
  return true;
}

bool QueueDisplay::BringsResult(const PictureQueue::Entry& entry) {
  return entry.check.read && (entry.state == PictureQueue::State::kConfirming ||
                              (entry.state == PictureQueue::State::kChecked &&
                               entry.confirmation.end == SiteConfirmer::End::kNone));
}

void QueueDisplay::EntrySwatches(const PictureQueue& queue, int index, std::optional<ImageCache::Colours>& query,
                                 std::vector<std::size_t>& rows) {
  query.reset();
  rows.clear();
  if (index < 0 || static_cast<std::size_t>(index) >= queue.Size()) return;
  const PictureQueue::Entry entry = queue.At(index);
  if (!HasCheck(entry) || !entry.check.read) return;
  query = entry.check.signature;
  rows = CheckDisplay::Rows(entry.check, entry.confirmation);
}
