#include "support/DeniedAccess.h"

#include <windows.h>
#include <aclapi.h>

#include "support/WideText.h"

struct DeniedAccess::Saved {
  PSECURITY_DESCRIPTOR descriptor = nullptr;  // the path's own, kept for restoring
  PACL dacl = nullptr;                        // inside `descriptor`
  bool changed = false;
};

DeniedAccess::DeniedAccess(const std::string& path) : path_(path), saved_(std::make_unique<Saved>()) {
  std::wstring name = WideText(path);
  if (::GetNamedSecurityInfoW(name.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &saved_->dacl, nullptr, &saved_->descriptor) != ERROR_SUCCESS) {
    return;
  }
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  if (!::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) return;
  EXPLICIT_ACCESSW deny{};
  deny.grfAccessPermissions = FILE_GENERIC_READ | FILE_LIST_DIRECTORY | FILE_TRAVERSE;
  deny.grfAccessMode = DENY_ACCESS;
  deny.grfInheritance = NO_INHERITANCE;
  deny.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  deny.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  deny.Trustee.ptstrName = static_cast<LPWSTR>(everyone);
  PACL denied = nullptr;
  if (::SetEntriesInAclW(1, &deny, saved_->dacl, &denied) == ERROR_SUCCESS) {
    saved_->changed = ::SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                              nullptr, denied, nullptr) == ERROR_SUCCESS;
    ::LocalFree(denied);
  }
  ::FreeSid(everyone);
}

DeniedAccess::~DeniedAccess() {
  if (saved_->changed) {
    std::wstring name = WideText(path_);
    ::SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, saved_->dacl,
                            nullptr);
  }
  if (saved_->descriptor) ::LocalFree(saved_->descriptor);
}

bool DeniedAccess::Effective() const {
  // A folder is opened the way listing it does.
  HANDLE handle = ::CreateFileW(WideText(path_).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_ACCESS_DENIED;
  ::CloseHandle(handle);
  return false;
}
