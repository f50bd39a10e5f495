#include "infra/ReservedPages.h"

#include <windows.h>

ReservedPages::ReservedPages(std::size_t size) : size_(size) {
  // Committed pages are backed only once touched (demand-zero), as on Linux.
  data_ = static_cast<std::uint8_t*>(::VirtualAlloc(nullptr, size_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

ReservedPages::~ReservedPages() {
  if (data_) ::VirtualFree(data_, 0, MEM_RELEASE);
}

void ReservedPages::ReleaseBelow(std::size_t end) {
  static const std::size_t page = [] {
    SYSTEM_INFO info {};
    ::GetSystemInfo(&info);
    return static_cast<std::size_t>(info.dwPageSize);
  }();
  const std::size_t until = end / page * page;
  if (data_ && until > released_) {
    ::VirtualFree(data_ + released_, until - released_, MEM_DECOMMIT);
    released_ = until;
  }
}
