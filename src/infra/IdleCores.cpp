#include "infra/IdleCores.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "infra/ProcessorPlacement.h"

std::optional<int> RunnableTasks(std::string_view loadavg) {
  // Skip the three load averages.
  std::size_t at = 0;
  for (int field = 0; field < 3; ++field) {
    at = loadavg.find(' ', at);
    if (at == std::string_view::npos) return std::nullopt;
    ++at;
  }
  const std::size_t slash = loadavg.find('/', at);
  if (slash == std::string_view::npos || slash == at) return std::nullopt;
  int runnable = 0;
  const auto [end, error] = std::from_chars(loadavg.data() + at, loadavg.data() + slash, runnable);
  if (error != std::errc() || end != loadavg.data() + slash || runnable < 0) return std::nullopt;
  return runnable;
}

int IdleCores() {
  const int cores = ProcessorsAllowed();
  char line[128];
  std::size_t length = 0;
  if (std::FILE* file = std::fopen("/proc/loadavg", "re")) {
    length = std::fread(line, 1, sizeof line - 1, file);
    std::fclose(file);
  }
  const std::optional<int> runnable = RunnableTasks(std::string_view(line, length));
  // The count includes the calling thread.
  const int busy = runnable ? std::max(*runnable, 1) : 1;
  return std::max(0, cores - busy);
}
