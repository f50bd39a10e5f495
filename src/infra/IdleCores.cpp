#include "infra/IdleCores.h"

#include <algorithm>
#include <charconv>

#include "infra/Platform.h"
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
  const std::optional<std::string> line = platform::LoadAverageLine();
  const std::optional<int> runnable = line ? RunnableTasks(*line) : std::nullopt;
  // The count includes the calling thread.
  const int busy = runnable ? std::max(*runnable, 1) : 1;
  return std::max(0, cores - busy);
}
