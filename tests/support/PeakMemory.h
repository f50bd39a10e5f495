#pragma once

#include <cstdint>

// The process's peak resident size so far, in bytes (getrusage's maximum
// resident set; the peak working set on Windows). It only ever grows, so a
// test compares it before and after.
std::uint64_t PeakResidentBytes();

// What a started program holds before it does any work beyond what Linux
// counts: Wine maps its own system libraries into every Windows process and
// counts them in the working set (about 1.5 MB more for the command line
// than on Linux); 0 on Linux. A child's bound adds it.
std::uint64_t ProcessStartAllowanceBytes();

inline constexpr std::uint64_t kMiB = 1024 * 1024;

// AddressSanitizer keeps freed blocks in quarantine and adds shadow memory,
// so a peak measured under it is looser by this factor. Bounds stay far below
// the gigabytes a missing limit would cost.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr std::uint64_t kPeakSlack = 4;
#else
inline constexpr std::uint64_t kPeakSlack = 1;
#endif
