// Pulls large bodies from a loopback server through InternetFile and reports
// the throughput and the process's peak resident size, which must not grow
// with the body's size: the reader holds at most about one block of it.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "infra/InternetFile.h"
#include "infra/InternetSession.h"

namespace {

// A minimal HTTP server: every connection gets a 200 with `size` bytes, the
// size taken from the request path ("/<bytes>").
class BulkServer {
 public:
  BulkServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 8);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~BulkServer() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    thread_.join();
  }
  std::string Url(size_t size) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + std::to_string(size);
  }

 private:
  void Serve() {
    std::vector<char> chunk(256 * 1024, 'x');
    while (!stopping_) {
      const int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      char request[4096];
      const ssize_t got = ::recv(client, request, sizeof request - 1, 0);
      size_t size = 0;
      if (got > 0) {
        request[got] = '\0';
        const char* slash = std::strchr(request, '/');
        if (slash) size = std::strtoull(slash + 1, nullptr, 10);
      }
      const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) +
                               "\r\nConnection: close\r\n\r\n";
      bool ok = ::send(client, head.data(), head.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(head.size());
      for (size_t sent = 0; ok && sent < size;) {
        const size_t n = std::min(chunk.size(), size - sent);
        const ssize_t written = ::send(client, chunk.data(), n, MSG_NOSIGNAL);
        ok = written > 0;
        if (ok) sent += static_cast<size_t>(written);
      }
      ::close(client);
    }
  }

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

long PeakResidentKiB() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void BM_PullBody(benchmark::State& state) {
  static BulkServer server;
  static InternetSession session("Tintwise");
  const size_t size = static_cast<size_t>(state.range(0)) << 20;
  char buffer[InternetFile::kBlockSize];
  size_t total = 0;
  for (auto _ : state) {
    InternetFile file(server.Url(size), session);
    if (!file.IsOk()) {
      state.SkipWithError("request failed");
      return;
    }
    size_t received = 0;
    while (const size_t n = file.Read(buffer)) received += n;
    if (received != size || file.Failed()) {
      state.SkipWithError("body incomplete");
      return;
    }
    total += received;
  }
  state.SetBytesProcessed(static_cast<int64_t>(total));
  state.counters["peak_rss_MiB"] = static_cast<double>(PeakResidentKiB()) / 1024.0;
}
// Growing sizes: the peak stays where the smallest one put it.
BENCHMARK(BM_PullBody)->Arg(16)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
