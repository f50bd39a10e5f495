#pragma once

#include <cstdint>
#include <string>
#include <utility>

// Tells the temporary files of a writer at work from those a killed one
// left. Every operation that writes through AtomicFile below a directory (a
// cache update, a generation run) holds this advisory lock on the directory,
// shared, while it runs. One that finds no other holder at its start knows
// that every temporary file there is a leftover, however new. The lock goes
// with the process, so a killed writer never keeps it. Not copyable; one
// thread. Released on destruction. On Windows, where a directory cannot be
// locked, the lock is on a hidden file "tintwise.lock" inside it.
class WriterLock {
 public:
  // `directory` is not opened until Acquire.
  explicit WriterLock(std::string directory = ".") : directory_(std::move(directory)) {}
  ~WriterLock();
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;

  // Takes the lock shared, waiting only for another writer's brief check.
  // Returns true when no other writer held it just before: the caller may
  // then remove every temporary file. False when another writer is at work or
  // the lock cannot be had (the caller then goes by the files' age).
  bool Acquire();

  // How old a temporary file must be before removal, given Acquire's answer.
  static long StaleAge(bool alone) { return alone ? 0 : 3600; }

 private:
  std::string directory_;
  std::intptr_t handle_ = -1;  // the locked descriptor or handle
};
