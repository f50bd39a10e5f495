#include "app/shared/QueueFollow.h"

void QueueFollow::Reset() {
  shown_ = -1;
  following_ = true;
}

void QueueFollow::Picked(int index) {
  if (index != shown_) following_ = false;
  shown_ = index;
}

bool QueueFollow::ShowsOnChange(int index, PictureQueue::Mark mark) const {
  if (index == shown_) return true;
  // Settled with a verdict (or an error): not waiting, being checked or left unchecked.
  const bool settled = mark != PictureQueue::Mark::kWaiting && mark != PictureQueue::Mark::kChecking &&
                       mark != PictureQueue::Mark::kNotChecked;
  return following_ && settled;
}
