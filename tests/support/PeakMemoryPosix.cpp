#include "support/PeakMemory.h"

#include <sys/resource.h>

std::uint64_t PeakResidentBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;
}

std::uint64_t ProcessStartAllowanceBytes() { return 0; }
