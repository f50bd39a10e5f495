#pragma once

#include <string>

// A directory only this user can enter (mode 0700), made under $TMPDIR (or
// /tmp) with a fresh name, for files the program makes for itself and never
// shows: other users cannot read or plant files in it. Removed with its
// files (not subdirectories) when the object dies.
//
// The name tells the owner: "tintwise-tmp-<pid>-XXXXXX". A process killed
// before it could remove its directory leaves it behind; making a new one
// first removes this user's leftovers (of other processes) whose process is
// gone or that are older than kStaleSeconds (a reused process id). Not copyable; one thread
// at a time.
class PrivateTempDirectory {
 public:
  static constexpr const char* kPrefix = "tintwise-tmp-";
  static constexpr long kStaleSeconds = 3600;

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

  // Removes this user's directories of this class in `base` (with their
  // files) whose owner process is gone or that are older than
  // kStaleSeconds; returns how many were removed. Never follows a link.
  static int RemoveLeftovers(const std::string& base);

 private:
  std::string path_;
};
