#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "infra/ServerAddress.h"
#include "support/LoopbackHttpServer.h"

// The window's tests need one application object for the whole program.
// Site pictures a test fetches are kept in a cache directory of the test
// program's own, never in the user's. A search confirms its verdict by the
// site's pictures: the site is a closed loopback port unless a test serves
// one, so that no test asks a demo site that happens to run here.
int main(int argc, char** argv) {
  char cacheHome[] = "/tmp/tintwise-ui-cache-XXXXXX";
  const bool ownCache = ::mkdtemp(cacheHome) != nullptr;
  if (ownCache) ::setenv("XDG_CACHE_HOME", cacheHome, 1);
  const std::string closedSite = "127.0.0.1:" + std::to_string(LoopbackHttpServer::UnusedPort());
  OverrideServerHosts(closedSite, CacheHost());
  int status = 0;
  {
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    status = RUN_ALL_TESTS();
  }
  if (ownCache) {
    std::error_code ignored;
    std::filesystem::remove_all(cacheHome, ignored);
  }
  return status;
}
