#include "support/PeakMemory.h"

#include <windows.h>
#include <psapi.h>

std::uint64_t PeakResidentBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!::K32GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.PeakWorkingSetSize;
}

std::uint64_t ProcessStartAllowanceBytes() { return std::uint64_t{4} << 20; }
