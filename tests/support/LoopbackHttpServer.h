#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TestCertificates;

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

// A real HTTP server on 127.0.0.1 with a port the system picks, running on its
// own threads inside the test process. Routes are keyed by the request target
// ("/path?query" as sent) and, failing that, by the path alone; anything else
// answers 404. Every GET is recorded with its User-Agent.
// Routes may be added while the server runs; all members are thread-safe.
class LoopbackHttpServer {
 public:
  struct Request {
    std::string target;     // path with query, as the client sent it
    std::string userAgent;  // empty when the header was missing
  };
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

  // Starts listening at once; aborts the test program if no port can be bound.
  LoopbackHttpServer();
  // Speaks https with that server certificate (Url gives https). Built only
  // where OpenSSL is (LoopbackHttpsServer.cpp).
  explicit LoopbackHttpServer(const TestCertificates& tls);
  // Releases any held-back response and stops the server threads.
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  int Port() const { return port_; }
  // "127.0.0.1:<port>", the form OverrideServerHosts takes.
  std::string Host() const;
  // "http://127.0.0.1:<port>" + target ("https://" with TLS).
  std::string Url(const std::string& target) const;

  // 200 (or `status`) with `body`.
  void Serve(const std::string& target, const std::string& body,
             const std::string& contentType = "application/octet-stream", int status = 200);
  // The content of a local file, read now.
  void ServeFile(const std::string& target, const std::string& filePath,
                 const std::string& contentType = "application/octet-stream");
  // `size` bytes of GeneratedByte(0..size-1), produced as they are sent (for
  // bodies too large to hold).
  void ServeGenerated(const std::string& target, size_t size);
  // An empty answer with the given status (404, 500, ...).
  void ServeStatus(const std::string& target, int status);
  // 302 to `location` (absolute, or a target on this server).
  void Redirect(const std::string& target, const std::string& location);
  // Announces `declaredLength` bytes, sends `body` (shorter), then closes the connection.
  void ServeTruncated(const std::string& target, const std::string& body, size_t declaredLength);
  // Announces `declaredLength` bytes, sends `body` (shorter), then sends
  // nothing more and keeps the connection open until the server is destroyed.
  void ServeStalled(const std::string& target, const std::string& body, size_t declaredLength);
  // Reads the request and never answers until the server is destroyed.
  void ServeNoAnswer(const std::string& target);
  // Anything else.
  void Handle(const std::string& target, Handler handler);

  // Every request received so far, in order.
  std::vector<Request> Requests() const;
  // How many requests asked for `target`.
  int RequestCount(const std::string& target) const;

  // The byte at `offset` of a ServeGenerated body.
  static char GeneratedByte(size_t offset) {
    return static_cast<char>((offset * 131 + offset / 4096) & 0xff);
  }
  static std::string GeneratedBody(size_t size);

  // A loopback port with nothing listening on it (a refused connection).
  static int UnusedPort();

 private:
  LoopbackHttpServer(std::unique_ptr<httplib::Server> server, std::string scheme);
  void Dispatch(const httplib::Request& request, httplib::Response& response);
  // Blocks a handler thread until the server shuts down.
  void HoldUntilShutdown();

  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
  std::string scheme_ = "http";

  mutable std::mutex mutex_;
  std::condition_variable shutdownSignal_;
  bool shuttingDown_ = false;
  std::map<std::string, Handler> routes_;
  std::vector<Request> requests_;
};
