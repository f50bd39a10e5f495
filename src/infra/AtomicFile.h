#pragma once

#include <string>
#include <string_view>

#include "infra/NativeFile.h"

// A file written beside its final name and moved into place in one rename, so
// that readers and crashes see either the previous file or the complete new
// one, never a part. Until Commit succeeds the target is untouched; an
// uncommitted temporary file is removed by the destructor. Move-only.
class AtomicFile {
 public:
  // Creates a fresh temporary file in the directory of `target`; Ok() tells
  // whether that worked.
  explicit AtomicFile(std::string target);
  ~AtomicFile();
  AtomicFile(AtomicFile&&) noexcept = default;
  AtomicFile& operator=(AtomicFile&&) noexcept = default;

  bool Ok() const { return !temporaryPath_.empty() && !failed_; }
  const std::string& TemporaryPath() const { return temporaryPath_; }

  // Appends bytes; a failed write (a full disk) makes Ok() false for good.
  bool Write(std::string_view bytes);

  // Closes the temporary file without renaming it (for checking its content
  // through another library before Commit). Ok() reports failures.
  bool Close();

  // Flushes to disk, closes and renames over the target. Returns false, with
  // the target unchanged and the temporary file removed, on any failure.
  bool Commit();

  // As Commit, for a database file: once the new file is in place, removes
  // the files a database library keeps beside the target (its name plus
  // "-journal", "-wal" or "-shm"). They belonged to the file just replaced;
  // one left by a writer that was killed would be taken for the new file's
  // and played into it at its first opening, corrupting it.
  bool CommitDatabase();

  // Removes the temporary file now; the target stays untouched.
  void Discard();

 private:
  // Closes and renames over the target, not yet durable; on failure as Commit.
  bool Rename();

  // Writes the buffered bytes to the file.
  bool Flush();

  std::string target_;
  std::string temporaryPath_;
  NativeFile file_;
  std::string buffer_;  // bytes not yet written, at most kBufferBytes
  bool failed_ = false;
  bool closed_ = false;
};

// Removes temporary files of `target` (its name plus ".tmp." and six letters
// or digits) left behind by a process that was killed before its Commit, and
// the files a database library keeps beside such a file (the same name plus
// "-journal", "-wal" or "-shm"), once they have not been written to for
// `minimumAge` seconds, so a write still in progress elsewhere is never
// touched. Returns how many were removed.
int RemoveStaleTemporaryFiles(const std::string& target, long minimumAge = 3600);

// As RemoveStaleTemporaryFiles, for the temporary files of every target in
// `directory` (a path ending in '/', or "" for the current directory).
int RemoveStaleTemporaryFilesIn(const std::string& directory, long minimumAge = 3600);

// Writes `content` to `target` through an AtomicFile. Returns false, with the
// previous file unchanged, on any failure.
bool WriteFileAtomically(const std::string& target, std::string_view content);
