#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class AtomicFile;
class InternetFile;

// Copies the body of a successful request into a temporary file or into
// memory, block by block as it arrives, stopping at `limit` bytes so that a
// misbehaving server cannot fill the disk or the memory. A body whose
// announced length is already past the limit is refused before any of it is
// read. The caller decides what to do with the result: check it, Commit it,
// or let it be discarded. One thread at a time.
class BodyReceiver {
 public:
  enum class Result {
    kComplete,     // the whole body is in the file (not yet closed) or the string
    kBroken,       // the body broke off or was stopped; the reader has logged why
    kTooLarge,     // more than `limit` bytes arrived or were announced
    kWriteFailed,  // the file could not take the bytes (a full disk)
  };

  // Called after each block with the bytes so far and the announced total
  // (nothing when the server gave none), on the receiving thread.
  using Progress = std::function<void(std::uint64_t bytes, std::optional<std::uint64_t> total)>;

  explicit BodyReceiver(std::uint64_t limit) : limit_(limit) {}

  void SetProgress(Progress progress) { progress_ = std::move(progress); }

  // Reads `remote` to its end into `local`; Bytes() tells how many arrived.
  Result Receive(InternetFile& remote, AtomicFile& local);
  // Reads `remote` to its end, appending to `body`.
  Result Receive(InternetFile& remote, std::string& body);
  std::uint64_t Bytes() const { return bytes_; }

 private:
  Result Pump(InternetFile& remote, const std::function<bool(std::string_view)>& sink);

  std::uint64_t limit_;
  std::uint64_t bytes_ = 0;
  Progress progress_;
};
