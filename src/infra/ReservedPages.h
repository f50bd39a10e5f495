#pragma once

#include <cstddef>
#include <cstdint>

// A large zero-filled buffer taken from the system as address space: pages
// cost memory only once they are touched, and pages the caller is done with
// are given back (ReleaseBelow), so a whole picture's worth can be
// addressed while few pages are resident at a time. Data() is null when the
// system refused. Not copyable; one thread at a time.
class ReservedPages {
 public:
  explicit ReservedPages(std::size_t size);
  ~ReservedPages();
  ReservedPages(const ReservedPages&) = delete;
  ReservedPages& operator=(const ReservedPages&) = delete;

  std::uint8_t* Data() const { return data_; }

  // Gives back the whole pages below byte `end`; their content is lost.
  void ReleaseBelow(std::size_t end);

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t released_ = 0;
};
