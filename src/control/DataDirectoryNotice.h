#pragma once

#include <string>

// What a copy of the program says when it keeps its files in the user's data
// directory only because it may not write its own (a portable copy in a
// shared or read-only folder): which directory is in use, why, and how the
// cache.db beside the program can still be used. Empty for every other copy.
class DataDirectoryNotice {
 public:
  // The notice for the directory InitializeEnvironment chose.
  static DataDirectoryNotice Current();

  // `programDirectory` empty: no notice. Both may end in '/'.
  DataDirectoryNotice(std::string programDirectory, std::string dataDirectory);

  bool Empty() const { return programDirectory_.empty(); }

  // One English sentence for the command line (UTF-8).
  std::string English() const;
  // The same for log.txt, in Shift-JIS.
  std::string LogText() const;
  // Two lines for the window's status (Shift-JIS): the directory in use and
  // why, and how to use the cache beside the program.
  std::string StatusText() const;

 private:
  std::string programDirectory_;  // without the trailing '/'
  std::string dataDirectory_;     // without the trailing '/'
};
