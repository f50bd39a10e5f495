#pragma once

#include <string>

// Addresses on the site's web server and on the cache distribution server.
// Their hosts (each "host" or "host:port") are fixed when the program is built.

const std::string& SiteHost();
const std::string& CacheHost();

// "http://" + site host + "/mofuimg/pimg.php?imgid=" + id: the image's page,
// opened in the browser and fetched first by the cache generation run.
std::string PageUrl(const std::string& id);

// "http://" + site host + "/mofuimg/spimg.php?imgid=" + id: the second page form.
std::string SecondPageUrl(const std::string& id);

// "http://" + cache host + "/mofu/cache.db": the prebuilt cache.
std::string CacheDatabaseUrl();

// Replaces both hosts for this process (the command-line front end's
// --site/--cache-host and tests against a loopback server). Call before any
// other thread reads them.
void OverrideServerHosts(const std::string& siteHost, const std::string& cacheHost);
