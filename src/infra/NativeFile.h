#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// One open file of the system (a descriptor on Linux, a HANDLE on Windows),
// closed when the object dies. Paths are UTF-8 (see Platform.h). Failures
// return false or nothing with the system's reason in `why` when asked for;
// nothing throws. Move-only; one thread at a time.
class NativeFile {
 public:
  enum class Links { kFollow, kRefuse };

  NativeFile() = default;
  ~NativeFile();
  NativeFile(NativeFile&& other) noexcept;
  NativeFile& operator=(NativeFile&& other) noexcept;
  NativeFile(const NativeFile&) = delete;
  NativeFile& operator=(const NativeFile&) = delete;

  // Opens an existing file for reading. Anything but a regular file (a
  // FIFO, a device, a directory) is refused with "not a regular file"
  // without blocking on it; with Links::kRefuse a symbolic link is refused
  // too, whatever it points at.
  static NativeFile OpenForReading(const std::string& path, Links links, std::string* why = nullptr);

  // Creates `path`, which must not exist yet, for writing; readable by this
  // user alone until SetPermissionsLike widens it.
  static NativeFile CreateNew(const std::string& path, std::string* why = nullptr);

  // Creates a new file named `stem` plus six random letters and digits;
  // its name in `path`. Private as CreateNew.
  static NativeFile CreateUnique(const std::string& stem, std::string* path, std::string* why = nullptr);

  bool IsOpen() const;

  // The file's size in bytes; nothing on failure.
  std::optional<std::uint64_t> Size() const;

  // Reads up to `count` bytes; the number read, 0 at the end, -1 on failure.
  long long Read(char* buffer, std::size_t count);

  // Reads exactly `count` bytes from `offset` without moving the position
  // Read goes on from; false when they cannot all be read.
  bool ReadAt(std::uint64_t offset, char* buffer, std::size_t count);

  // Writes all of `count` bytes; false on any failure (a full disk).
  bool WriteAll(const char* bytes, std::size_t count);

  // Flushes the written bytes to the disk.
  bool Sync();

  // Gives the file the permissions of `model` when it exists, else those
  // of a plainly created file (Linux); Windows files inherit their folder's.
  void SetPermissionsLike(const std::string& model);

  // Sets the modification time to now.
  bool MarkModifiedNow();

  // Closes now; false when the system reported a failure (a delayed write error).
  bool Close();

  // A hint that the file is read from start to end.
  void AdviseSequential();

 private:
  explicit NativeFile(std::intptr_t handle) : handle_(handle) {}
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;
  std::uint64_t position_ = 0;  // where Read goes on (Windows, whose offset reads move the handle's)
};
