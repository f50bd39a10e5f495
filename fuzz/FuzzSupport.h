#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Shared set-up of the fuzz targets.

// Makes a fresh temporary directory the program directory and the current
// directory, once per process, and returns it (ending in '/'). The log stays
// closed, so the millions of failures a run provokes write nothing.
const std::string& FuzzProgramDirectory();

// Replaces the file at `path` with `bytes`; aborts the run when it cannot,
// since every later input would then test nothing.
void WriteFuzzFile(const std::string& path, std::string_view bytes);

// The whole content of the file at `path`; empty when it cannot be read.
std::string ReadFuzzFile(const std::string& path);

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Stops the run with a message when an invariant of the code under test fails.
#define FUZZ_CHECK(condition)                                                              \
  do {                                                                                     \
    if (!(condition)) FuzzCheckFailed(#condition, __FILE__, __LINE__);                     \
  } while (false)
[[noreturn]] void FuzzCheckFailed(const char* condition, const char* file, int line);
