#include <windows.h>
#include <objbase.h>
#include <ole2.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/win/TintwiseWindow.h"
#include "app/win/WinText.h"
#include "infra/Platform.h"
#include "infra/ServerAddress.h"

namespace {

// OLE for the drop target and the clipboard, for this thread's life.
class OleSession {
 public:
  OleSession() : ok_(SUCCEEDED(OleInitialize(nullptr))) {}
  ~OleSession() {
    if (ok_) OleUninitialize();
  }
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;
  bool Ok() const { return ok_; }

 private:
  bool ok_;
};

std::vector<std::string> Arguments() {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; wide && i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
  if (wide) LocalFree(wide);
  return arguments;
}

int Refuse(const std::string& message) {
  MessageBoxW(nullptr, WidePath(message).c_str(), L"Tintwise", MB_ICONERROR | MB_OK);
  return 2;
}

}  // namespace

// tintwise.exe [--site-host HOST] [--cache-host HOST] [--dir DIRECTORY] [image]:
// opens the window, keeping its files in DIRECTORY when given; an image
// given on the command line (as "Open with" does) is searched as soon as the
// cache has been loaded. The hosts replace the site's and the cache
// server's, as tintwise-cli's options do.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  TintwiseWindow::Options options;
  std::vector<std::string> arguments = Arguments();
  std::string siteHost = SiteHost();
  std::string cacheHost = CacheHost();
  std::size_t next = 0;
  while (arguments.size() - next >= 2 && arguments[next].rfind("--", 0) == 0) {
    const std::string option = arguments[next];
    const std::string value = arguments[next + 1];
    next += 2;
    if (option == "--site-host") {
      siteHost = value;
    } else if (option == "--cache-host") {
      cacheHost = value;
    } else if (option == "--dir") {
      // Made absolute now: the window makes the data directory current.
      const std::string directory = platform::AbsolutePath(value);
      const std::optional<platform::FileFacts> facts = platform::LookAt(directory, /*followLinks=*/true);
      if (!facts || facts->kind != platform::FileKind::kDirectory) return Refuse("tintwise: not a directory: " + value);
      options.programDirectory = directory;
    } else {
      return Refuse("tintwise: unknown option " + option);
    }
  }
  OverrideServerHosts(siteHost, cacheHost);
  if (next < arguments.size()) options.searchAtStart = platform::AbsolutePath(arguments[next]);

  const OleSession ole;
  if (!ole.Ok()) return Refuse("tintwise: OLE could not be initialised");
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  TintwiseWindow window(std::move(options));
  window.Show();
  MSG message;
  while (!window.Ended() && GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (window.PreTranslate(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
