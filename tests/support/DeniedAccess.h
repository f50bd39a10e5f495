#pragma once

#include <memory>
#include <string>

// Takes away this user's right to read (list, for a folder) `path` while
// it lives, and gives it back on destruction: mode 0 on Linux, a deny entry
// for everyone in the ACL on Windows. Whether the system then refuses is
// another matter (root reads everything; Wine does not apply ACLs to
// files): Effective() looks.
class DeniedAccess {
 public:
  explicit DeniedAccess(const std::string& path);
  ~DeniedAccess();
  DeniedAccess(const DeniedAccess&) = delete;
  DeniedAccess& operator=(const DeniedAccess&) = delete;

  // True when this process can no longer read or list `path`.
  bool Effective() const;

 private:
  struct Saved;
  std::string path_;
  std::unique_ptr<Saved> saved_;
};
