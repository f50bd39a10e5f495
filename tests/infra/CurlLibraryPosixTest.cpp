// The HTTP library is loaded at a session's first request; one that cannot
// be loaded leaves the session invalid and fails every request, with the
// reason in the log, never a crash.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "infra/InternetFile.h"
#include "infra/InternetSession.h"
#include "infra/TextEncoding.h"
#include "support/LoopbackHttpServer.h"
#include "support/ProgramDirectoryTest.h"

namespace {

std::string Sjis(const char8_t* utf8) { return SjisText(utf8).str(); }

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

class CurlLibraryTest : public ProgramDirectoryTest {
 protected:
  LoopbackHttpServer server_;
};

TEST_F(CurlLibraryTest, UnusableLibraryFailsEveryRequestWithTheReason) {
  struct Case {
    const char* file;
    std::string reason;  // how the reason begins
  };
  const std::vector<Case> cases = {
      {"libtintwise-missing.so.4", "libtintwise-missing.so.4: cannot open shared object file"},
      // Loads, but is not the HTTP library.
      {"libz.so.1", "libz.so.1: no function curl_global_init"},
  };
  server_.Serve("/x", "body");
  for (const Case& c : cases) {
    const size_t before = LogMessages().size();
    InternetSession::Options options;
    options.httpLibraryFile = c.file;
    const InternetSession session("Tintwise", options);
    EXPECT_EQ(LogMessages().size(), before) << c.file << ": a session does nothing until it is used";

    for (int request = 0; request < 2; ++request) {
      InternetFile file(server_.Url("/x"), session);
      EXPECT_FALSE(file.IsOk()) << c.file;
      char buffer[InternetFile::kBlockSize];
      EXPECT_EQ(file.Read(buffer), 0u) << c.file;
      EXPECT_FALSE(file.ContentLength()) << c.file;
    }
    EXPECT_FALSE(session.IsValid()) << c.file;
    EXPECT_EQ(session.Library(), nullptr) << c.file;

    // The load's two lines once, then two lines per request naming the reason.
    const std::vector<std::string> all = LogMessages();
    const std::vector<std::string> lines(all.begin() + static_cast<long>(before), all.end());
    ASSERT_EQ(lines.size(), 6u) << c.file;
    EXPECT_TRUE(StartsWith(lines[0], Sjis(u8"CurlLibrary::CurlLibrary() : HTTPライブラリを読み込めませんでした ") +
                                         c.reason))
        << lines[0];
    EXPECT_EQ(lines[1], Sjis(u8"InternetSession::InternetSession() : インターネットセッションの作成に失敗しました"));
    for (size_t i = 2; i < 6; i += 2) {
      EXPECT_EQ(lines[i], Sjis(u8"InternetFile::InternetFile() : インターネット接続例外キャッチ"));
      EXPECT_TRUE(
          StartsWith(lines[i + 1], Sjis(u8"InternetFile::InternetFile() : HTTPセッションが使用できません : ") + c.reason))
          << lines[i + 1];
    }
  }
  EXPECT_EQ(server_.RequestCount("/x"), 0);
}
