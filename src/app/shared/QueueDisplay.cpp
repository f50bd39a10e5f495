#include "app/shared/QueueDisplay.h"

#include "control/CheckDisplay.h"
#include "control/ControlView.h"
#include "control/QueryPicture.h"

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
  if (entry.state != PictureQueue::State::kChecked) {
    view.SetStatusText(PictureQueue::Label(PictureQueue::MarkOf(entry)));
    return false;
  }
  // As the search showed it, from the results kept: nothing is searched.
  CheckDisplay::Show(view, table, entry.check);
  return true;
}

void QueueDisplay::EntrySwatches(const PictureQueue& queue, int index, std::optional<ImageCache::Colours>& query,
                                 std::vector<std::size_t>& rows) {
  query.reset();
  rows.clear();
  if (index < 0 || static_cast<std::size_t>(index) >= queue.Size()) return;
  const PictureQueue::Entry entry = queue.At(index);
  if (entry.state != PictureQueue::State::kChecked || !entry.check.read) return;
  query = entry.check.signature;
  rows = CheckDisplay::Rows(entry.check);
}
