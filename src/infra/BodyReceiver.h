#pragma once

#include <cstdint>

class AtomicFile;
class InternetFile;

// Copies the body of a successful request into a temporary file, block by
// block as it arrives, stopping at `limit` bytes so that a misbehaving server
// cannot fill the disk. The caller decides what to do with the file: check it,
// Commit it, or let it be discarded.
class BodyReceiver {
 public:
  enum class Result {
    kComplete,     // the whole body is in the file (not yet closed)
    kBroken,       // the body broke off; the reader has logged why
    kTooLarge,     // more than `limit` bytes arrived
    kWriteFailed,  // the file could not take the bytes (a full disk)
  };

  explicit BodyReceiver(std::uint64_t limit) : limit_(limit) {}

  // Reads `remote` to its end into `local`; Bytes() tells how many arrived.
  Result Receive(InternetFile& remote, AtomicFile& local);
  std::uint64_t Bytes() const { return bytes_; }

 private:
  std::uint64_t limit_;
  std::uint64_t bytes_ = 0;
};
