#pragma once

#include <string>

// What a window sets up before anything else: the environment (the
// program's directory, or `programDirectory` when not empty, as tests give
// it), the log, and in the log, at every start, where a portable copy that
// may not write its own folder keeps its files instead.
class WindowSystem {
 public:
  static void Initialize(const std::string& programDirectory);
};
