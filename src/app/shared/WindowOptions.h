#pragma once

#include <functional>
#include <memory>
#include <string>

class InternetSession;

// How a window is opened; the defaults are the program's own.
struct WindowOptions {
  // Stands in for the program's own directory when not empty (tests).
  std::string programDirectory;
  // Opens a page address (Shift-JIS bytes) in the user's browser; the
  // system's default handler when empty.
  std::function<void(const std::string& url)> openUrl;
  // A picture (file-system path) searched once, as soon as the cache has
  // been loaded; empty for none.
  std::string searchAtStart;
  // The HTTP session for every download; a default one when null.
  std::shared_ptr<InternetSession> session;
  // Where fetched site pictures are kept; SitePictureCache's default
  // directory when empty.
  std::string siteCacheDirectory;
};
