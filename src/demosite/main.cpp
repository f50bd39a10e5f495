// tintwise-demosite: a small stand-in for the image-posting site, so that the
// whole system can be seen working on one machine.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "demosite/DemoCacheBuilder.h"
#include "demosite/DemoCatalog.h"
#include "demosite/DemoSite.h"

namespace {

const char kUsage[] =
    "Usage: tintwise-demosite [--host 127.0.0.1] [--port 8642] [--export-images <dir>]\n"
    "\n"
    "Serves a deterministic demo of the image-posting site: image pages in EUC-JP at\n"
    "/mofuimg/pimg.php?imgid=N and /mofuimg/spimg.php?imgid=N, the images, and the\n"
    "prebuilt cache at /mofu/cache.db (built at start by a cache generation run\n"
    "against this site). Stop it with Ctrl-C.\n"
    "\n"
    "  --export-images <dir>  write every demo image into <dir> (named by id) and exit\n";

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::string host = "127.0.0.1";
  int port = 8642;
  std::string exportDirectory;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool hasValue = i + 1 < argc;
    if (argument == "--help" || argument == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (argument == "--host" && hasValue) {
      host = argv[++i];
    } else if (argument == "--port" && hasValue) {
      char* end = nullptr;
      const long value = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || value < 0 || value > 65535) {
        std::fprintf(stderr, "tintwise-demosite: bad port '%s'\n", argv[i]);
        return 2;
      }
      port = static_cast<int>(value);
    } else if (argument == "--export-images" && hasValue) {
      exportDirectory = argv[++i];
    } else {
      std::fprintf(stderr, "tintwise-demosite: unknown argument '%s'\n\n%s", argument.c_str(), kUsage);
      return 2;
    }
  }

  const auto started = std::chrono::steady_clock::now();
  const DemoCatalog catalog;
  if (!exportDirectory.empty()) {
    std::string error;
    if (!catalog.ExportImages(exportDirectory, error)) {
      std::fprintf(stderr, "tintwise-demosite: %s\n", error.c_str());
      return 1;
    }
    std::printf("%zu demo images written to %s\n", catalog.Entries().size(), exportDirectory.c_str());
    return 0;
  }

  // Ctrl-C and termination are taken by sigwait below, not by any thread.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  DemoSite site(catalog);
  if (!site.Start(host, port)) {
    std::fprintf(stderr, "tintwise-demosite: cannot listen on %s:%d\n", host.c_str(), port);
    return 1;
  }
  const std::string siteHost = (host == "0.0.0.0" ? std::string("127.0.0.1") : host) + ":" + std::to_string(site.Port());
  std::printf("Demo site: http://%s/ (%zu images, ready in %.2f s)\n", siteHost.c_str(), catalog.Entries().size(),
              SecondsSince(started));
  std::fflush(stdout);

  // The cache is built by crawling this very site, while it already serves.
  std::thread builder([&] {
    const auto buildStarted = std::chrono::steady_clock::now();
    auto database = BuildDemoCache(siteHost, 1, catalog.LastId() + 2, nullptr);
    if (database)
      std::printf("cache.db ready: %zu bytes in %.2f s\n", database->size(), SecondsSince(buildStarted));
    else
      std::printf("cache.db could not be built; /mofu/cache.db answers 503\n");
    std::fflush(stdout);
    site.SetCacheDatabase(std::move(database));
  });

  int signal = 0;
  sigwait(&stopSignals, &signal);
  std::printf("Stopping.\n");
  site.Stop();
  builder.join();
  return 0;
}
