#include "support/LoopbackHttpServer.h"

// First: on Windows it brings Winsock (and starts it) for UnusedPort.
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "support/TempDirectory.h"

LoopbackHttpServer::LoopbackHttpServer()
    : LoopbackHttpServer(std::make_unique<httplib::Server>(), "http") {}

LoopbackHttpServer::LoopbackHttpServer(std::unique_ptr<httplib::Server> server, std::string scheme)
    : server_(std::move(server)), scheme_(std::move(scheme)) {
  server_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    Dispatch(request, response);
  });
  // Keep a half-finished test from leaving threads parked on idle connections.
  server_->set_keep_alive_timeout(1);
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) {
    std::fprintf(stderr, "LoopbackHttpServer: cannot bind a loopback port\n");
    std::abort();
  }
  // The socket already listens, so clients may connect before this thread runs.
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // stop() is ignored until the accept loop runs; wait for it so that a short
  // test cannot stop the server too early and hang in the destructor.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!server_->is_running() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LoopbackHttpServer::~LoopbackHttpServer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shuttingDown_ = true;
  }
  shutdownSignal_.notify_all();
  server_->stop();
  thread_.join();
}

std::string LoopbackHttpServer::Host() const { return "127.0.0.1:" + std::to_string(port_); }

std::string LoopbackHttpServer::Url(const std::string& target) const {
  return scheme_ + "://" + Host() + target;
}

void LoopbackHttpServer::Serve(const std::string& target, const std::string& body,
                               const std::string& contentType, int status) {
  Handle(target, [body, contentType, status](const httplib::Request&, httplib::Response& response) {
    response.status = status;
    response.set_content(body, contentType);
  });
}

void LoopbackHttpServer::ServeFile(const std::string& target, const std::string& filePath,
                                   const std::string& contentType) {
  Serve(target, ReadWholeFile(filePath), contentType);
}

void LoopbackHttpServer::ServeGenerated(const std::string& target, size_t size) {
  Handle(target, [size](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(
        size, "application/octet-stream",
        [](size_t offset, size_t length, httplib::DataSink& sink) {
          std::string chunk(std::min<size_t>(length, 65536), '\0');
          for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = GeneratedByte(offset + i);
          return sink.write(chunk.data(), chunk.size());
        });
  });
}

void LoopbackHttpServer::ServeStatus(const std::string& target, int status) {
  Handle(target, [status](const httplib::Request&, httplib::Response& response) {
    response.status = status;
  });
}

void LoopbackHttpServer::Redirect(const std::string& target, const std::string& location) {
  Handle(target, [location](const httplib::Request&, httplib::Response& response) {
    response.set_redirect(location);
  });
}

void LoopbackHttpServer::ServeTruncated(const std::string& target, const std::string& body,
                                        size_t declaredLength) {
  Handle(target, [body, declaredLength](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(
        declaredLength, "application/octet-stream",
        [body](size_t offset, size_t, httplib::DataSink& sink) {
          // Returning false makes the server drop the connection mid-body.
          if (offset >= body.size()) return false;
          return sink.write(body.data() + offset, body.size() - offset);
        });
  });
}

void LoopbackHttpServer::ServeStalled(const std::string& target, const std::string& body,
                                      size_t declaredLength) {
  Handle(target, [this, body, declaredLength](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(
        declaredLength, "application/octet-stream",
        [this, body](size_t offset, size_t, httplib::DataSink& sink) {
          if (offset < body.size()) return sink.write(body.data() + offset, body.size() - offset);
          HoldUntilShutdown();
          return false;
        });
  });
}

void LoopbackHttpServer::ServeNoAnswer(const std::string& target) {
  Handle(target, [this](const httplib::Request&, httplib::Response& response) {
    HoldUntilShutdown();
    response.status = 503;
  });
}

void LoopbackHttpServer::Handle(const std::string& target, Handler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  routes_[target] = std::move(handler);
}

std::vector<LoopbackHttpServer::Request> LoopbackHttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

int LoopbackHttpServer::RequestCount(const std::string& target) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(std::count_if(requests_.begin(), requests_.end(),
                                        [&](const Request& r) { return r.target == target; }));
}

std::string LoopbackHttpServer::GeneratedBody(size_t size) {
  std::string body(size, '\0');
  for (size_t i = 0; i < size; ++i) body[i] = GeneratedByte(i);
  return body;
}

int LoopbackHttpServer::UnusedPort() {
  const socket_t fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd == INVALID_SOCKET) return 1;  // port 1 on loopback: nothing listens there either
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t size = sizeof address;
  int port = 1;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  // Bound but never listening: connections to it are refused while it is held
  // and after it is closed.
  httplib::detail::close_socket(fd);
  return port;
}

void LoopbackHttpServer::Dispatch(const httplib::Request& request, httplib::Response& response) {
  Handler handler;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back({request.target, request.get_header_value("User-Agent")});
    auto route = routes_.find(request.target);
    if (route == routes_.end()) route = routes_.find(request.path);
    if (route != routes_.end()) handler = route->second;
  }
  if (handler) {
    handler(request, response);
  } else {
    response.status = 404;
  }
}

void LoopbackHttpServer::HoldUntilShutdown() {
  std::unique_lock<std::mutex> lock(mutex_);
  shutdownSignal_.wait(lock, [this] { return shuttingDown_; });
}
