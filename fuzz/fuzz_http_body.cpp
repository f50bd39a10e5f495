// An HTTP answer of any content (status line, headers and body, as the bytes
// on the wire) from a server in this process, received by the two readers of
// remote bodies: the cache download, which must keep "cache.db" unless the
// answer is a complete valid database, and the page download of the cache
// generation run.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "FuzzSupport.h"
#include "cachebuild/MakeCacheDirectX.h"
#include "control/CacheDownloader.h"
#include "infra/InternetSession.h"
#include "infra/ServerAddress.h"

namespace {

// Answers every connection with the current input, then closes it.
class RawServer {
 public:
  RawServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      std::perror("loopback server");
      std::abort();
    }
    port_ = ntohs(address.sin_port);
    std::thread([this] { Serve(); }).detach();
  }

  int Port() const { return port_; }

  void SetAnswer(std::string_view answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    answer_.assign(answer);
  }

 private:
  void Serve() {
    for (;;) {
      const int connection = ::accept(listener_, nullptr, nullptr);
      if (connection < 0) continue;
      // Read the request up to its blank line, so the answer is not taken
      // for an early reply.
      std::string request;
      char buffer[4096];
      while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        request.append(buffer, static_cast<std::size_t>(got));
      }
      std::string answer;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        answer = answer_;
      }
      std::size_t sent = 0;
      while (sent < answer.size()) {
        const ssize_t put = ::send(connection, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
        if (put <= 0) break;
        sent += static_cast<std::size_t>(put);
      }
      ::shutdown(connection, SHUT_WR);
      ::close(connection);
    }
  }

  int listener_ = -1;
  int port_ = 0;
  std::mutex mutex_;
  std::string answer_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string directory = FuzzProgramDirectory();
  static RawServer server;
  static const InternetSession session = [] {
    InternetSession::Options options;
    options.connectTimeout = std::chrono::milliseconds(2000);
    options.stallTimeout = std::chrono::milliseconds(2000);
    // A redirect would lead to hosts outside this process.
    options.maxRedirects = 0;
    const std::string host = "127.0.0.1:" + std::to_string(server.Port());
    OverrideServerHosts(host, host);
    return InternetSession("Tintwise", options);
  }();
  static const std::string kOldDatabase = "not the new database";
  server.SetAnswer(AsText(data, size));

  // The cache download: "cache.db" is replaced only by a valid database.
  const std::string target = directory + "cache.db";
  WriteFuzzFile(target, kOldDatabase);
  CacheDownloader::Options limits;
  limits.maxBytes = 32 * 1024;
  const bool replaced = CacheDownloader(limits).Download(session, CacheDatabaseUrl(), target);
  if (replaced) {
    FUZZ_CHECK(CacheDownloader::IsCacheDatabase(target));
  } else {
    FUZZ_CHECK(ReadFuzzFile(target) == kOldDatabase);
  }

  // The page download of the generation run, then its parsing.
  std::remove((directory + "php/1").c_str());
  MakeCacheDirectX builder(session, "1", false);
  (void)builder.DownloadPHP();
  return 0;
}
