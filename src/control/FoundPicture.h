#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "control/PictureCheck.h"

class CacheTable;

// A picture to check, found among the files and folders a user named: on
// the command line (`tintwise-cli check`) or dropped on a window. Both find
// and check them with this class, so they agree on what counts and how.
struct FoundPicture {
  std::string path;   // to read
  std::string shown;  // as given, or the given folder joined with the path found in it
  // A folder the walk could not list, an entry it could not look at, or a
  // reason given for the operand: nothing to read, the check fails with it.
  std::string walkError;

  // The pictures among `operands` (absolute paths, read) that the user named
  // as `given` (shown; missing names show the operand), in order: a named
  // file as it is (whatever its content), a folder's pictures in name order,
  // recursively (links to folders are not followed; only files whose first
  // bytes are a picture's count), with a found entry for each folder that
  // cannot be listed and each entry that cannot be looked at: a check that
  // skipped them would report a clean run over pictures it never saw.
  // Per operand, a non-empty `operandErrors` entry makes it one entry failing
  // with that reason, unread (a link whose download failed).
  static std::vector<FoundPicture> Find(const std::vector<std::string>& given,
                                        const std::vector<std::string>& operands,
                                        const std::vector<std::string>& operandErrors = {});

  // Whether the first bytes of a file are those of a picture format the
  // program reads (JPEG, PNG, GIF, BMP, WebP).
  static bool LooksLikePicture(const std::string& head);

  // Checks the picture against `table` as CheckPicture does; an entry with
  // a walk error fails with it, unread. Any thread.
  PictureCheck Check(const CacheTable& table, std::size_t hitCount = SimilaritySearch::kHitCount,
                     const ReductionSink::IdleProbe& spareCores = {}) const;
};
