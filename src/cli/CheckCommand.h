#pragma once

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "control/Confirmation.h"

class CacheTable;

// `tintwise-cli check`: answers "posted already?" for every picture among the
// given files and folders (folders recursively, in name order; inside folders
// only files whose content is a picture count, a file named on the command
// line always does). One line per picture on `out`, in the order found:
//   verdict TAB difference TAB id TAB match TAB title TAB poster TAB path
// (UTF-8; verdict posted, similar, new or error; an error leaves the middle
// fields empty and its reason goes to `status`), or with `json` one JSON
// object per line with the keys verdict, difference, id, match, title,
// poster, path (null for an error's missing fields). The path is escaped as
// OutputEscape::Text says, in both formats. A folder that cannot be listed,
// an entry that cannot be looked at and a file in a folder that cannot be
// opened are error lines too. Pictures are read on
// `jobs` threads. With `confirm`, each verdict is then confirmed by the
// site's pictures of its candidates (Confirmation, one picture after the
// other through `site`): a confirmed verdict is posted with the match word
// "confirmed", a downgraded one says what is left; JSON lines get the key
// "confirmation" (confirmed, downgraded, unchanged, unreachable or null
// when nothing needed it); a site that could not be reached leaves the
// verdict as it was and says so on `status`. Progress goes to `status`: a redrawn bar when `interactive`,
// else one closing summary line.
struct CheckOptions {
  bool json = false;
  std::size_t jobs = 1;
  bool interactive = false;
  // Per operand: when not empty, the operand is not read and gives one
  // error line with this reason (a link whose download failed).
  std::vector<std::string> operandErrors;
  bool confirm = false;
  Confirmation::Source site;                     // with confirm
  const std::atomic<bool>* running = nullptr;   // turns false to stop confirming (may be null)
};

// `operands` are read (absolute paths), `given` (the same paths as the user
// wrote them) are printed. Returns the exit status: 0 when every picture was
// read, 1 otherwise.
int RunCheck(const CacheTable& table, const std::vector<std::string>& given, const std::vector<std::string>& operands,
             const CheckOptions& options, std::FILE* out, std::FILE* status);

