// The transfer's controls: https with certificate checks, the running flag
// that stops a transfer, the body size cap and the progress calls.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "infra/AtomicFile.h"
#include "infra/BodyReceiver.h"
#include "infra/InternetFetch.h"
#include "infra/InternetFile.h"
#include "infra/InternetSession.h"
#include "support/LoopbackHttpServer.h"
#include "support/ProgramDirectoryTest.h"
#include "support/TestCertificates.h"

namespace {

using Clock = std::chrono::steady_clock;
using Outcome = InternetFetch::Outcome;

InternetSession::Options Trusting(const std::string& authorityFile) {
  InternetSession::Options options;
  options.connectTimeout = std::chrono::milliseconds(3000);
  // Long enough that only the running flag can end a stalled transfer here.
  options.stallTimeout = std::chrono::milliseconds(30000);
  options.extraAuthorityFile = authorityFile;
  return options;
}

// Clears `running` after `delay` on a thread of its own.
class LateAbort {
 public:
  LateAbort(std::atomic<bool>& running, std::chrono::milliseconds delay)
      : thread_([&running, delay] {
          std::this_thread::sleep_for(delay);
          running.store(false);
        }) {}
  ~LateAbort() { thread_.join(); }

 private:
  std::thread thread_;
};

}  // namespace

class InternetFileTransferTest : public ProgramDirectoryTest {
 protected:
  TestCertificates certificates_;
  LoopbackHttpServer tls_{&certificates_};
  LoopbackHttpServer plain_;
};

TEST_F(InternetFileTransferTest, HttpsIsVerifiedAgainstTheSystemStorePlusTheExtraAuthority) {
  tls_.Serve("/picture.png", "tls body", "image/png");
  struct Case {
    const char* name;
    std::string authority;
    Outcome expected;
  };
  const std::vector<Case> cases = {
      {"trusted test authority", certificates_.AuthorityFile(), Outcome::kOk},
      {"system store only", "", Outcome::kNoAnswer},
      {"another authority", certificates_.OtherAuthorityFile(), Outcome::kNoAnswer},
  };
  for (const Case& c : cases) {
    const InternetSession session("Tintwise", Trusting(c.authority));
    ASSERT_TRUE(session.IsValid()) << c.name;
    const InternetFetch fetch = InternetFetch::Get(tls_.Url("/picture.png"), session, 1 << 20);
    EXPECT_EQ(fetch.outcome, c.expected) << c.name;
    EXPECT_EQ(fetch.body, c.expected == Outcome::kOk ? "tls body" : "") << c.name;
  }
  // Only the trusted handshake got as far as a request.
  EXPECT_EQ(tls_.RequestCount("/picture.png"), 1);
}

TEST_F(InternetFileTransferTest, UnreadableAuthorityFileMakesTheSessionInvalid) {
  const InternetSession session("Tintwise", Trusting(PathOf("missing.pem")));
  EXPECT_FALSE(session.IsValid());
  tls_.Serve("/x", "x");
  EXPECT_EQ(InternetFetch::Get(tls_.Url("/x"), session, 100).outcome, Outcome::kNoAnswer);
}

TEST_F(InternetFileTransferTest, RedirectBetweenHttpAndHttpsIsFollowed) {
  tls_.Serve("/final", "secure");
  plain_.Redirect("/start", tls_.Url("/final"));
  const InternetSession session("Tintwise", Trusting(certificates_.AuthorityFile()));
  const InternetFetch fetch = InternetFetch::Get(plain_.Url("/start"), session, 100);
  EXPECT_EQ(fetch.outcome, Outcome::kOk);
  EXPECT_EQ(fetch.body, "secure");
}

// A stalled body, a server that never answers, over both schemes: clearing
// the flag ends each within a second, and the outcome says it was stopped.
TEST_F(InternetFileTransferTest, ClearingTheRunningFlagStopsATransferWithinASecond) {
  for (LoopbackHttpServer* server : {&plain_, &tls_}) {
    server->ServeStalled("/stall", LoopbackHttpServer::GeneratedBody(5000), 50000);
    server->ServeNoAnswer("/silent");
  }
  const InternetSession session("Tintwise", Trusting(certificates_.AuthorityFile()));
  for (LoopbackHttpServer* server : {&plain_, &tls_}) {
    for (const char* target : {"/stall", "/silent"}) {
      std::atomic<bool> running{true};
      const auto started = Clock::now();
      InternetFetch fetch;
      {
        LateAbort abort(running, std::chrono::milliseconds(300));
        fetch = InternetFetch::Get(server->Url(target), session, 1 << 20, &running);
      }
      const auto took = Clock::now() - started;
      EXPECT_EQ(fetch.outcome, Outcome::kAborted) << server->Url(target);
      EXPECT_TRUE(fetch.body.empty());
      EXPECT_LT(took, std::chrono::milliseconds(1300)) << server->Url(target);
    }
  }
}

TEST_F(InternetFileTransferTest, AFlagAlreadyClearedSendsNoRequest) {
  plain_.Serve("/x", "x");
  const InternetSession session("Tintwise");
  std::atomic<bool> running{false};
  EXPECT_EQ(InternetFetch::Get(plain_.Url("/x"), session, 100, &running).outcome, Outcome::kAborted);
  EXPECT_EQ(plain_.RequestCount("/x"), 0);
}

// The cap on both sides of the boundary, with and without an announced
// length; an announced length past the cap is refused before any body byte.
TEST_F(InternetFileTransferTest, BodyCapRefusesOneByteMoreThanTheLimit) {
  constexpr size_t kSize = 3 * InternetFile::kBlockSize + 5;
  plain_.ServeGenerated("/sized", kSize);
  plain_.Handle("/chunked", [](const httplib::Request&, httplib::Response& response) {
    response.set_chunked_content_provider("application/octet-stream",
                                          [](size_t offset, httplib::DataSink& sink) {
                                            if (offset >= kSize) {
                                              sink.done();
                                              return true;
                                            }
                                            const std::string chunk = LoopbackHttpServer::GeneratedBody(kSize);
                                            return sink.write(chunk.data(), chunk.size());
                                          });
  });
  const InternetSession session("Tintwise");
  struct Case {
    const char* target;
    std::uint64_t limit;
    BodyReceiver::Result expected;
    std::uint64_t maxBytesRead;
  };
  const std::vector<Case> cases = {
      {"/sized", kSize, BodyReceiver::Result::kComplete, kSize},
      {"/sized", kSize - 1, BodyReceiver::Result::kTooLarge, 0},
      {"/chunked", kSize, BodyReceiver::Result::kComplete, kSize},
      {"/chunked", kSize - 1, BodyReceiver::Result::kTooLarge, kSize},
  };
  for (const Case& c : cases) {
    InternetFile remote(plain_.Url(c.target), session);
    ASSERT_TRUE(remote.IsOk());
    BodyReceiver receiver(c.limit);
    std::string body;
    EXPECT_EQ(receiver.Receive(remote, body), c.expected) << c.target << " " << c.limit;
    EXPECT_LE(receiver.Bytes(), c.maxBytesRead) << c.target << " " << c.limit;
    if (c.expected == BodyReceiver::Result::kComplete) {
      EXPECT_EQ(body, LoopbackHttpServer::GeneratedBody(kSize));
    }
  }
}

TEST_F(InternetFileTransferTest, ProgressCountsEveryByteAndKnowsTheAnnouncedTotal) {
  constexpr size_t kSize = 10 * InternetFile::kBlockSize + 123;
  plain_.ServeGenerated("/big", kSize);
  const InternetSession session("Tintwise");
  std::vector<std::uint64_t> seen;
  std::optional<std::uint64_t> total;
  const InternetFetch fetch =
      InternetFetch::Get(plain_.Url("/big"), session, kSize, nullptr,
                         [&](std::uint64_t bytes, std::optional<std::uint64_t> announced) {
                           seen.push_back(bytes);
                           total = announced;
                         });
  ASSERT_EQ(fetch.outcome, Outcome::kOk);
  ASSERT_FALSE(seen.empty());
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(seen.back(), kSize);
  EXPECT_EQ(total, std::optional<std::uint64_t>(kSize));
}
