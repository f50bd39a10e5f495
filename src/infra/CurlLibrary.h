#pragma once

#include <curl/curl.h>

#include <string>

// The functions of the HTTP library (libcurl) that the HTTP layer calls,
// typed from the library's own declarations. Only the HTTP layer's sources
// use this header: the build gives infra the library's headers, never the
// library itself, so a direct call to a curl_ function does not link.
struct CurlFunctions {
  decltype(&curl_global_init) globalInit = nullptr;
  decltype(&curl_version_info) versionInfo = nullptr;
  decltype(&curl_easy_init) easyInit = nullptr;
  decltype(&curl_easy_cleanup) easyCleanup = nullptr;
  decltype(&curl_easy_setopt) easySetopt = nullptr;
  decltype(&curl_easy_getinfo) easyGetinfo = nullptr;
  decltype(&curl_easy_pause) easyPause = nullptr;
  decltype(&curl_easy_strerror) easyStrerror = nullptr;
  decltype(&curl_multi_init) multiInit = nullptr;
  decltype(&curl_multi_cleanup) multiCleanup = nullptr;
  decltype(&curl_multi_add_handle) multiAddHandle = nullptr;
  decltype(&curl_multi_remove_handle) multiRemoveHandle = nullptr;
  decltype(&curl_multi_perform) multiPerform = nullptr;
  decltype(&curl_multi_info_read) multiInfoRead = nullptr;
  decltype(&curl_multi_poll) multiPoll = nullptr;
  decltype(&curl_multi_strerror) multiStrerror = nullptr;
};

// The HTTP library, loaded into the process when the first transfer needs
// it instead of by the dynamic loader at start-up: it brings some forty
// libraries (TLS, Kerberos, LDAP, SSH, compression) whose loading and
// relocation the commands that never fetch should not pay for.
//
// A loaded library stays in the process until it ends: its global set-up
// has run and cannot be undone while other code may still use it.
class CurlLibrary {
 public:
  // The file the process's library is loaded from (the runtime package's
  // soname, searched for as the dynamic loader does).
  static constexpr const char* kFileName = "libcurl.so.4";

  // Loads `fileName` (a soname or a path) with every function resolved at
  // once, then runs the library's global set-up. On failure Functions() is
  // null, Failure() tells why and one log line says so. Never throws.
  explicit CurlLibrary(const std::string& fileName);
  virtual ~CurlLibrary();
  CurlLibrary(const CurlLibrary&) = delete;
  CurlLibrary& operator=(const CurlLibrary&) = delete;

  // The library's functions, callable from any thread; null when the
  // library could not be loaded or set up.
  const CurlFunctions* Functions() const { return loaded_ ? &functions_ : nullptr; }
  // Why the library is unusable (UTF-8, as the dynamic loader put it);
  // empty when it is loaded.
  const std::string& Failure() const { return failure_; }

  // The process's library, loaded from kFileName by the first call on any
  // thread (concurrent first calls wait for that one load); every later call
  // returns the same object, loaded or not: a failed load is not retried.
  static const CurlLibrary& Process();

 private:
  CurlFunctions functions_;
  bool loaded_ = false;
  std::string failure_;
};
