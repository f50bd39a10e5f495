#pragma once

#include <string>

// A directory only this user can enter (mode 0700), made under $TMPDIR (or
// /tmp) with a fresh name, for files the program makes for itself and never
// shows: other users cannot read or plant files in it. Removed with its
// files (not subdirectories) when the object dies. Not copyable; one thread
// at a time.
class PrivateTempDirectory {
 public:
  PrivateTempDirectory();
  ~PrivateTempDirectory();
  PrivateTempDirectory(const PrivateTempDirectory&) = delete;
  PrivateTempDirectory& operator=(const PrivateTempDirectory&) = delete;

  // False when the directory could not be made (logged).
  bool Ok() const { return !path_.empty(); }
  // Ends in '/'; empty when !Ok().
  const std::string& Path() const { return path_; }

  // Writes `bytes` as the file `name` in the directory; its path, or empty
  // on failure (logged).
  std::string WriteFile(const std::string& name, const std::string& bytes);

 private:
  std::string path_;
};
