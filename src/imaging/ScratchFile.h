#pragma once

#include <string>

// A short-lived file whose name is reserved by creating it exclusively, so
// it never replaces a file that already exists, and two threads or
// processes never share one. The file is removed when the object dies.
// Move-only.
class ScratchFile {
 public:
  ScratchFile() = default;
  // Creates `preferred` if no file of that name exists; otherwise
  // `stem` + "<process id>-<n>" + `suffix` for the first free n.
  // Ok() is false when no name could be created (an unwritable directory).
  static ScratchFile Reserve(const std::string& preferred, const std::string& stem, const std::string& suffix);

  ~ScratchFile() { Remove(); }
  ScratchFile(ScratchFile&& other) noexcept;
  ScratchFile& operator=(ScratchFile&& other) noexcept;
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  bool Ok() const { return !path_.empty(); }
  // The reserved name (empty when !Ok()).
  const std::string& Path() const { return path_; }
  // Removes the file now; Ok() becomes false.
  void Remove();

 private:
  std::string path_;
};
