#include "infra/ReservedPages.h"

#include <sys/mman.h>
#include <unistd.h>

ReservedPages::ReservedPages(std::size_t size) : size_(size) {
  void* pages = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  data_ = pages == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(pages);
}

ReservedPages::~ReservedPages() {
  if (data_) ::munmap(data_, size_);
}

void ReservedPages::ReleaseBelow(std::size_t end) {
  static const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  const std::size_t until = end / page * page;
  if (data_ && until > released_) {
    ::madvise(data_ + released_, until - released_, MADV_DONTNEED);
    released_ = until;
  }
}
