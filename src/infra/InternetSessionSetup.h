#pragma once

#include <memory>
#include <string>

#include "infra/InternetSession.h"
#ifndef _WIN32
#include "infra/CurlLibrary.h"
#endif

// What a session sets up on first use, for the sources of the HTTP back end
// alone (InternetSession*.cpp, InternetTransfer*.cpp); callers go through
// InternetSession and InternetFile.
struct InternetSession::Setup {
  // Why the session is invalid (Shift-JIS, for the log); empty when valid.
  std::string failureForLog;
  bool valid = false;
#ifdef _WIN32
  // The system's session handle (HINTERNET, asynchronous) and the extra
  // authority's certificates (HCERTSTORE, null when none was given): kept
  // as void pointers so that this header needs no system header.
  std::unique_ptr<void, void (*)(void*)> handle{nullptr, nullptr};
  std::unique_ptr<void, void (*)(void*)> extraAuthorities{nullptr, nullptr};
#else
  std::unique_ptr<CurlLibrary> ownLibrary;  // when the options name a file
  const CurlLibrary* library = nullptr;     // null: the session is invalid
  std::string bundle;
#endif
};
