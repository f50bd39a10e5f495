#include "infra/ServerAddress.h"

namespace {

std::string& Site() {
  static std::string host = TINTWISE_SITE_HOST;
  return host;
}

std::string& Cache() {
  static std::string host = TINTWISE_CACHE_HOST;
  return host;
}

}  // namespace

const std::string& SiteHost() { return Site(); }
const std::string& CacheHost() { return Cache(); }

std::string PageUrl(const std::string& id) {
  return "http://" + SiteHost() + "/mofuimg/pimg.php?imgid=" + id;
}

std::string SecondPageUrl(const std::string& id) {
  return "http://" + SiteHost() + "/mofuimg/spimg.php?imgid=" + id;
}

std::string CacheDatabaseUrl() { return "http://" + CacheHost() + "/mofu/cache.db"; }

void OverrideServerHosts(const std::string& siteHost, const std::string& cacheHost) {
  Site() = siteHost;
  Cache() = cacheHost;
}
