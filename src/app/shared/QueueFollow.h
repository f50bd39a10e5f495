#pragma once

#include "control/PictureQueue.h"

// Which queued entry a window's list shows: each newly checked one, until
// the user picks one, which then holds the list until the next queue. The
// entry shown follows its own changes. UI thread only.
class QueueFollow {
 public:
  // A new queue, or none: nothing shown, following again.
  void Reset();
  // Entry `index` is shown (however it came to be).
  void Shown(int index) { shown_ = index; }
  // The user picked entry `index`.
  void Picked(int index);
  // Whether entry `index`, now marked `mark`, is to be shown.
  bool ShowsOnChange(int index, PictureQueue::Mark mark) const;
  // The entry shown; -1 for none.
  int ShownEntry() const { return shown_; }

 private:
  int shown_ = -1;
  bool following_ = true;
};
