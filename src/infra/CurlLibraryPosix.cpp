#include "infra/CurlLibrary.h"

#include <dlfcn.h>

#include "infra/Log.h"
#include "infra/TextEncoding.h"

namespace {

// Looks `name` up in the loaded library; false (with `missing` set) when the
// library lacks it, as an older release lacks newer functions.
template <typename Function>
bool Resolve(void* handle, const char* name, Function& target, std::string& missing) {
  target = reinterpret_cast<Function>(dlsym(handle, name));
  if (target == nullptr) missing = name;
  return target != nullptr;
}

bool ResolveAll(void* handle, CurlFunctions& f, std::string& missing) {
  return Resolve(handle, "curl_global_init", f.globalInit, missing) &&
         Resolve(handle, "curl_version_info", f.versionInfo, missing) &&
         Resolve(handle, "curl_easy_init", f.easyInit, missing) &&
         Resolve(handle, "curl_easy_cleanup", f.easyCleanup, missing) &&
         Resolve(handle, "curl_easy_setopt", f.easySetopt, missing) &&
         Resolve(handle, "curl_easy_getinfo", f.easyGetinfo, missing) &&
         Resolve(handle, "curl_easy_pause", f.easyPause, missing) &&
         Resolve(handle, "curl_easy_strerror", f.easyStrerror, missing) &&
         Resolve(handle, "curl_multi_init", f.multiInit, missing) &&
         Resolve(handle, "curl_multi_cleanup", f.multiCleanup, missing) &&
         Resolve(handle, "curl_multi_add_handle", f.multiAddHandle, missing) &&
         Resolve(handle, "curl_multi_remove_handle", f.multiRemoveHandle, missing) &&
         Resolve(handle, "curl_multi_perform", f.multiPerform, missing) &&
         Resolve(handle, "curl_multi_info_read", f.multiInfoRead, missing) &&
         Resolve(handle, "curl_multi_poll", f.multiPoll, missing) &&
         Resolve(handle, "curl_multi_strerror", f.multiStrerror, missing);
}

}  // namespace

CurlLibrary::CurlLibrary(const std::string& fileName) {
  // RTLD_LOCAL: the library's symbols (and those of the TLS library it
  // brings) stay out of the global scope, where they could be bound in
  // place of another copy loaded later (the window's own TLS plug-in).
  void* handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    failure_ = reason ? reason : fileName + ": cannot be loaded";
  } else {
    std::string missing;
    if (!ResolveAll(handle, functions_, missing)) {
      failure_ = fileName + ": no function " + missing;
    } else {
      // The global set-up must run once before the first handle; it is
      // never undone, since transfers may run until the process ends.
      const CURLcode code = functions_.globalInit(CURL_GLOBAL_DEFAULT);
      if (code == CURLE_OK) {
        loaded_ = true;
        return;
      }
      failure_ = fileName + ": set-up failed: " + functions_.easyStrerror(code);
    }
    // The handle is never closed: the library's code has run (its
    // constructors, perhaps half its set-up) and may have left exit
    // handlers pointing into it.
  }
  static const SjisText kNotLoaded{u8"CurlLibrary::CurlLibrary() : HTTPライブラリを読み込めませんでした "};
  WriteLog(kNotLoaded + PathForLog(failure_));
}

CurlLibrary::~CurlLibrary() = default;

const CurlLibrary& CurlLibrary::Process() {
  static const CurlLibrary library(kFileName);
  return library;
}
