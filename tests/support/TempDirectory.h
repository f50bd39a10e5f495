#pragma once

#include <filesystem>
#include <string>

// A fresh directory in the system's temporary directory, removed with its
// content on destruction.
class TempDirectory {
 public:
  TempDirectory();
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  // Ends in the path separator.
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// A UTF-8 path (the program's own kind) as the standard library's: on
// Windows its narrow strings are in the ANSI code page instead. A name
// that is not UTF-8 is only for Linux, where the bytes are kept as they are.
std::filesystem::path Utf8Path(const std::string& path);
// Whole files by UTF-8 path.
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);
