#include "FuzzSupport.h"

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "infra/Environment.h"

const std::string& FuzzProgramDirectory() {
  static const std::string directory = [] {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tintwise-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    InitializeEnvironmentAt(pattern);
    // libFuzzer ends a finished run through exit(); a crash keeps the files.
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(ProgramDirectory(), ignored);
    });
    return ProgramDirectory();
  }();
  return directory;
}

void WriteFuzzFile(const std::string& path, std::string_view bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fclose(file) != 0) {
    std::perror(path.c_str());
    std::abort();
  }
}

std::string ReadFuzzFile(const std::string& path) {
  std::string content;
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    char buffer[65536];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, file)) content.append(buffer, got);
    std::fclose(file);
  }
  return content;
}

void FuzzCheckFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
  std::abort();
}
