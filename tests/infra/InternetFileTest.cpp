#include "infra/InternetFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "infra/InternetSession.h"
#include "infra/TextEncoding.h"
#include "support/LoopbackHttpServer.h"
#include "support/ProgramDirectoryTest.h"

namespace {

struct Fetched {
  bool ok = false;
  std::string body;
  size_t largestBlock = 0;
  bool failed = false;
};

InternetSession::Options ShortTimeouts() {
  InternetSession::Options options;
  options.connectTimeout = std::chrono::milliseconds(2000);
  options.stallTimeout = std::chrono::milliseconds(1000);
  options.maxRedirects = 5;
  return options;
}

std::string Sjis(const char8_t* utf8) { return SjisText(utf8).str(); }

}  // namespace

class InternetFileTest : public ProgramDirectoryTest {
 protected:
  InternetFileTest() : session_("Tintwise", ShortTimeouts()) {}

  Fetched FetchUrl(const std::string& url) {
    Fetched result;
    InternetFile file(url, session_);
    result.ok = file.IsOk();
    if (!result.ok) return result;
    char buffer[InternetFile::kBlockSize];
    while (size_t count = file.Read(buffer)) {
      result.largestBlock = std::max(result.largestBlock, count);
      result.body.append(buffer, count);
    }
    result.failed = file.Failed();
    return result;
  }
  Fetched Fetch(const std::string& target) { return FetchUrl(server_.Url(target)); }

  std::vector<std::string> ConnectFailureLog() const {
    return {Sjis(u8"InternetFile::InternetFile() : インターネット接続例外キャッチ")};
  }
  // The log's messages minus the library's error text that follows each fixed line.
  std::vector<std::string> FixedLogLines() const {
    std::vector<std::string> lines = LogMessages();
    std::vector<std::string> fixed;
    for (size_t i = 0; i < lines.size(); i += 2) fixed.push_back(lines[i]);
    return fixed;
  }

  InternetSession session_;
  LoopbackHttpServer server_;
};

TEST_F(InternetFileTest, LargeBodyArrivesWholeInBlocksOfAtMost4096Bytes) {
  server_.ServeGenerated("/big", 3 * 1024 * 1024 + 17);
  const Fetched fetched = Fetch("/big");
  ASSERT_TRUE(fetched.ok);
  EXPECT_EQ(fetched.body, LoopbackHttpServer::GeneratedBody(3 * 1024 * 1024 + 17));
  EXPECT_EQ(fetched.largestBlock, InternetFile::kBlockSize);
  EXPECT_FALSE(fetched.failed);
  EXPECT_TRUE(LogMessages().empty());
}

TEST_F(InternetFileTest, RequestCarriesTheSessionsAgentName) {
  server_.Serve("/page", "hello");
  ASSERT_TRUE(Fetch("/page").ok);
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_EQ(server_.Requests()[0].userAgent, "Tintwise");
}

TEST_F(InternetFileTest, EmptyBodyIsASuccessThatEndsAtOnce) {
  server_.Serve("/empty", "");
  InternetFile file(server_.Url("/empty"), session_);
  char buffer[InternetFile::kBlockSize];
  EXPECT_TRUE(file.IsOk());
  EXPECT_EQ(file.Read(buffer), 0u);
  EXPECT_FALSE(file.Failed());
  EXPECT_TRUE(LogMessages().empty());
}

TEST_F(InternetFileTest, StatusOtherThan200FailsWithoutLogging) {
  server_.ServeStatus("/missing", 404);
  server_.Serve("/broken", "server trouble", "text/plain", 500);
  server_.ServeStatus("/nothing", 204);
  EXPECT_FALSE(Fetch("/missing").ok);
  EXPECT_FALSE(Fetch("/broken").ok);
  EXPECT_FALSE(Fetch("/nothing").ok);
  EXPECT_TRUE(LogMessages().empty());
}

TEST_F(InternetFileTest, RedirectsAreFollowedToTheFinalAnswer) {
  server_.Redirect("/old", "/middle");
  server_.Redirect("/middle", server_.Url("/new"));
  server_.Serve("/new", "moved content");
  const Fetched fetched = Fetch("/old");
  EXPECT_TRUE(fetched.ok);
  EXPECT_EQ(fetched.body, "moved content");
  EXPECT_EQ(server_.RequestCount("/new"), 1);
}

TEST_F(InternetFileTest, RedirectToAMissingPageFails) {
  server_.Redirect("/old", "/gone");
  EXPECT_FALSE(Fetch("/old").ok);
  EXPECT_TRUE(LogMessages().empty());
}

TEST_F(InternetFileTest, RedirectLoopFailsAfterTheLimitWithTwoLogLines) {
  server_.Redirect("/a", "/b");
  server_.Redirect("/b", "/a");
  EXPECT_FALSE(Fetch("/a").ok);
  EXPECT_LE(server_.Requests().size(), 6u);
  ASSERT_EQ(LogMessages().size(), 2u);
  EXPECT_EQ(FixedLogLines(), ConnectFailureLog());
  EXPECT_FALSE(LogMessages()[1].empty());
}

TEST_F(InternetFileTest, RedirectAwayFromPlainHttpIsRefused) {
  server_.Redirect("/elsewhere", "file:///etc/passwd");
  EXPECT_FALSE(Fetch("/elsewhere").ok);
  EXPECT_EQ(FixedLogLines(), ConnectFailureLog());
}

TEST_F(InternetFileTest, RefusedConnectionFailsWithTwoLogLines) {
  const std::string url =
      "http://127.0.0.1:" + std::to_string(LoopbackHttpServer::UnusedPort()) + "/mofu/cache.db";
  EXPECT_FALSE(FetchUrl(url).ok);
  ASSERT_EQ(LogMessages().size(), 2u);
  EXPECT_EQ(FixedLogLines(), ConnectFailureLog());
  EXPECT_FALSE(LogMessages()[1].empty());
}

TEST_F(InternetFileTest, MalformedUrlsAreRejectedBeforeAnyRequest) {
  const std::vector<std::string> urls = {
      "",  "cache.db", "ftp://127.0.0.1/x", "http://", "https://", "http:///path", "https:///path",
      "http://host:0/", "http://host:65536/", "http://host:/", "http://ho st/",
      "http://host/a\tb", "http://user@host/"};
  for (const std::string& url : urls) EXPECT_FALSE(FetchUrl(url).ok) << url;
  const std::vector<std::string> lines = LogMessages();
  ASSERT_EQ(lines.size(), urls.size());
  for (size_t i = 0; i < urls.size(); ++i) {
    EXPECT_EQ(lines[i], Sjis(u8"InternetFile::InternetFile() : URLパースエラー : ") + PathForLog(urls[i]))
        << urls[i];
  }
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(InternetFileTest, PathBytesOutsideAsciiAreSentPercentEncoded) {
  server_.Serve("/image/%E7%94%BB%20a.jpg", "x");
  EXPECT_TRUE(FetchUrl(server_.Url("/image/\xe7\x94\xbb a.jpg#part")).ok);
}

TEST_F(InternetFileTest, BodyCutShortOfItsLengthIsAFailureNotAnEnd) {
  const std::string half = LoopbackHttpServer::GeneratedBody(10000);
  server_.ServeTruncated("/cut", half, 20000);
  const Fetched fetched = Fetch("/cut");
  ASSERT_TRUE(fetched.ok);
  EXPECT_EQ(fetched.body, half);
  EXPECT_TRUE(fetched.failed);
  ASSERT_EQ(LogMessages().size(), 2u);
  EXPECT_EQ(LogMessages()[0], Sjis(u8"InternetFile::Read() : インターネット接続例外キャッチ"));
}

TEST_F(InternetFileTest, SilentServerIsCutOffByTheStallTimeout) {
  server_.ServeStalled("/stall", LoopbackHttpServer::GeneratedBody(5000), 50000);
  const Fetched fetched = Fetch("/stall");
  ASSERT_TRUE(fetched.ok);
  EXPECT_EQ(fetched.body.size(), 5000u);
  EXPECT_TRUE(fetched.failed);
  ASSERT_EQ(LogMessages().size(), 2u);
  EXPECT_EQ(LogMessages()[0], Sjis(u8"InternetFile::Read() : インターネット接続例外キャッチ"));
}

TEST_F(InternetFileTest, ServerThatNeverAnswersIsCutOffByTheStallTimeout) {
  server_.ServeNoAnswer("/silent");
  EXPECT_FALSE(Fetch("/silent").ok);
  ASSERT_EQ(LogMessages().size(), 2u);
  EXPECT_EQ(FixedLogLines(), ConnectFailureLog());
}

TEST_F(InternetFileTest, ReaderMayStopEarlyOnALargeBody) {
  server_.ServeGenerated("/huge", 64 * 1024 * 1024);
  {
    InternetFile file(server_.Url("/huge"), session_);
    char buffer[InternetFile::kBlockSize];
    ASSERT_TRUE(file.IsOk());
    EXPECT_GT(file.Read(buffer), 0u);
  }
  EXPECT_TRUE(LogMessages().empty());
}
