#include "demosite/DemoSite.h"

#include <httplib.h>

#include <charconv>

#include "demosite/DemoPages.h"

namespace {

const char kPageType[] = "text/html; charset=EUC-JP";

// The id of "imgid=N"; nullopt unless N is a plain decimal number.
std::optional<int> IdOf(const httplib::Request& request) {
  if (!request.has_param("imgid")) return std::nullopt;
  const std::string text = request.get_param_value("imgid");
  int id = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return id;
}

}  // namespace

DemoSite::DemoSite(const DemoCatalog& catalog) : catalog_(catalog), server_(std::make_unique<httplib::Server>()) {
  server_->set_keep_alive_timeout(2);
  server_->Get("/", [this](const httplib::Request& request, httplib::Response& response) {
    response.set_content(RenderIndexPage(catalog_, HostOf(request)), kPageType);
  });
  server_->Get("/mofuimg/pimg.php", [this](const httplib::Request& request, httplib::Response& response) {
    HandlePage(request, response, true);
  });
  server_->Get("/mofuimg/spimg.php", [this](const httplib::Request& request, httplib::Response& response) {
    HandlePage(request, response, false);
  });
  server_->Get("/mofuimg/adult.html", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(RenderAdultNotice(), kPageType);
  });
  server_->Get(R"(/mofuimg/img/.*)", [this](const httplib::Request& request, httplib::Response& response) {
    const DemoEntry* entry = catalog_.FindImage(request.path);
    if (!entry) {
      response.status = 404;
      response.set_content("not found\n", "text/plain");
      return;
    }
    response.set_content(entry->bytes, entry->contentType);
  });
  server_->Get("/mofu/cache.db", [this](const httplib::Request&, httplib::Response& response) {
    HandleCache(response);
  });
}

DemoSite::~DemoSite() { Stop(); }

bool DemoSite::Start(const std::string& host, int port) {
  if (thread_.joinable()) return false;
  if (port == 0) {
    port_ = server_->bind_to_any_port(host);
    if (port_ <= 0) return false;
  } else {
    if (!server_->bind_to_port(host, port)) return false;
    port_ = port;
  }
  host_ = host;
  // The socket already listens, so clients may connect before this thread runs.
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  return true;
}

void DemoSite::Stop() {
  SetCacheDatabase(std::nullopt);  // releases waiting requests
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

void DemoSite::SetCacheDatabase(std::optional<std::string> database) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (cacheSettled_ && !database) return;
    cache_ = std::move(database);
    cacheSettled_ = true;
  }
  cacheReady_.notify_all();
}

std::string DemoSite::HostOf(const httplib::Request& request) const {
  const std::string host = request.get_header_value("Host");
  if (!host.empty()) return host;
  return (host_ == "0.0.0.0" ? std::string("127.0.0.1") : host_) + ":" + std::to_string(port_);
}

void DemoSite::HandlePage(const httplib::Request& request, httplib::Response& response, bool firstAddress) const {
  const auto id = IdOf(request);
  const DemoEntry* entry = id ? catalog_.Find(*id) : nullptr;
  if (!entry) {
    response.status = 404;
    response.set_content(RenderMissingPage(id ? std::to_string(*id) : std::string("?")), kPageType);
    return;
  }
  if (firstAddress && entry->shortFirstPage) {
    response.set_content(RenderStubPage(*entry), kPageType);
    return;
  }
  response.set_content(RenderImagePage(catalog_, *entry, HostOf(request)), kPageType);
}

void DemoSite::HandleCache(httplib::Response& response) {
  std::unique_lock<std::mutex> lock(mutex_);
  cacheReady_.wait_for(lock, cacheWait_, [this] { return cacheSettled_; });
  if (!cache_) {
    response.status = 503;
    response.set_content("The demo cache is not available.\n", "text/plain");
    return;
  }
  response.set_content(*cache_, "application/octet-stream");
}
