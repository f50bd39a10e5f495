#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "control/PictureQueue.h"
#include "imaging/ImageCache.h"

class CacheTable;
class ControlView;

// What both windows show of a queue, toolkit aside.
class QueueDisplay {
 public:
  // The names of the queue's entries, for its strip, once it has been
  // filled; a queue without a single picture says so on `view`.
  static std::vector<std::string> Filled(const PictureQueue& queue, ControlView& view);
  // Shows entry `index`'s kept results on `view` after clearing it (its
  // rows and verdict as the search and its confirmation showed them, or
  // that it is being confirmed), or only its mark's label while it has none. Returns whether it had results.
  static bool ShowEntry(const PictureQueue& queue, std::size_t index, ControlView& view, const CacheTable* table);
  // Whether this change of `entry` is the one that brought its readable
  // result (its check done, whether or not a confirmation follows): the
  // moment to decode its kept preview, once.
  static bool BringsResult(const PictureQueue::Entry& entry);
  // The swatches of entry `index`: the query's colours and the table rows
  // listed; none while the entry has no readable result (or for a bad index).
  static void EntrySwatches(const PictureQueue& queue, int index, std::optional<ImageCache::Colours>& query,
                            std::vector<std::size_t>& rows);
};
