#pragma once

#include <sys/resource.h>

#include <cstdint>

// The process's peak resident size so far, in bytes (getrusage's maximum
// resident set; it only ever grows, so a test compares it before and after).
inline std::uint64_t PeakResidentBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;
}

inline constexpr std::uint64_t kMiB = 1024 * 1024;

// AddressSanitizer keeps freed blocks in quarantine and adds shadow memory,
// so a peak measured under it is looser by this factor. Bounds stay far below
// the gigabytes a missing limit would cost.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr std::uint64_t kPeakSlack = 4;
#else
inline constexpr std::uint64_t kPeakSlack = 1;
#endif
