// A server that answers with bodies of several gigabytes, announced or
// endless: every download stops at its cap, keeps nothing, and the cache
// update keeps the old cache.db.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

#include "cachebuild/MakeCacheDirectX.h"
#include "support/PeakMemory.h"
#include "control/CacheDownloader.h"
#include "infra/InternetSession.h"
#include "infra/Platform.h"
#include "infra/ServerAddress.h"
#include "control/CacheUpdate.h"
#include "control/Control.h"
#include "support/LoopbackHttpServer.h"
#include "support/LoopbackSiteTest.h"
#include "support/RecordingView.h"
#include "hardening/CacheFiles.h"

namespace {

constexpr std::size_t kSeveralGigabytes = std::size_t{5} << 30;

class HostileServerTest : public LoopbackSiteTest {
 protected:
  void SetUp() override {
    LoopbackSiteTest::SetUp();
    platform::MakeSharedDirectory(PathOf("image"));
    peakBefore_ = PeakResidentBytes();
  }

  // A body that never ends, sent in chunks without a length.
  void ServeEndless(const std::string& target) {
    server_.Handle(target, [this](const httplib::Request&, httplib::Response& response) {
      response.set_chunked_content_provider("application/octet-stream", [this](size_t, httplib::DataSink& sink) {
        static const std::string chunk(65536, 'x');
        sentBytes_ += chunk.size();
        return sink.write(chunk.data(), chunk.size());
      });
    });
  }

  void ServePageShowing(const std::string& imageTarget) {
    std::string page = "<html><title>mofu!big picture</title>info <img src=\"" + server_.Url(imageTarget) +
                       "\"> <a href=\"../ii?g\">good:<b>4</b></a> <a href=\"../ii?b\">bad:<b>1</b></a>";
    page.resize(8000, ' ');
    server_.Serve("/mofuimg/pimg.php?imgid=7", page, "text/html");
  }

  bool NothingLeftIn(const std::string& directory) const {
    return std::filesystem::is_empty(PathOf(directory));
  }
  void ExpectBoundedMemory() const { EXPECT_LT(PeakResidentBytes() - peakBefore_, 128 * kMiB * kPeakSlack); }

  InternetSession session_{"Tintwise"};
  std::atomic<std::size_t> sentBytes_{0};
  std::uint64_t peakBefore_ = 0;
};

TEST_F(HostileServerTest, PageOfSeveralGigabytesStopsAtItsCap) {
  server_.ServeGenerated("/mofuimg/pimg.php?imgid=7", kSeveralGigabytes);
  MakeCacheDirectX builder(session_, "7", true);
  EXPECT_FALSE(builder.DownloadPHP());
  EXPECT_TRUE(NothingLeftIn("php"));
  ExpectBoundedMemory();
}

TEST_F(HostileServerTest, EndlessPageStopsAtItsCap) {
  ServeEndless("/mofuimg/pimg.php?imgid=7");
  MakeCacheDirectX builder(session_, "7", true);
  EXPECT_FALSE(builder.DownloadPHP());
  EXPECT_TRUE(NothingLeftIn("php"));
  EXPECT_LT(sentBytes_.load(), MakeCache::kMaxPageBytes + 64 * kMiB);
}

TEST_F(HostileServerTest, ImageOfSeveralGigabytesStopsAtItsCap) {
  ServePageShowing("/img/big.png");
  server_.ServeGenerated("/img/big.png", kSeveralGigabytes);
  MakeCacheDirectX builder(session_, "7", true);
  ASSERT_TRUE(builder.DownloadPHP());
  EXPECT_FALSE(builder.DownloadImage());
  EXPECT_TRUE(NothingLeftIn("image"));
  ExpectBoundedMemory();
}

TEST_F(HostileServerTest, EndlessImageStopsAtItsCap) {
  ServePageShowing("/img/endless.png");
  ServeEndless("/img/endless.png");
  MakeCacheDirectX builder(session_, "7", true);
  ASSERT_TRUE(builder.DownloadPHP());
  EXPECT_FALSE(builder.DownloadImage());
  EXPECT_TRUE(NothingLeftIn("image"));
  EXPECT_LT(sentBytes_.load(), MakeCache::kMaxImageBytes + 64 * kMiB);
}

// The cache's cap is gigabytes by default; a smaller one makes the same
// stop quick to test.
TEST_F(HostileServerTest, CacheDownloadPastItsCapKeepsTheOldCache) {
  WriteCacheDatabase(PathOf("cache.db"), 3);
  const std::string old = ReadWholeFile(PathOf("cache.db"));
  server_.ServeGenerated("/mofu/cache.db", kSeveralGigabytes);
  RecordingView view;
  Control control(view);
  CacheDownloader::Options options;
  options.maxBytes = 16 * kMiB;
  EXPECT_FALSE(CacheUpdate(control.Context(), options).Run());
  EXPECT_EQ(old, ReadWholeFile(PathOf("cache.db")));
  EXPECT_EQ(3, control.RowCount());
  ExpectBoundedMemory();
}

TEST_F(HostileServerTest, EndlessCacheDownloadKeepsTheOldCache) {
  WriteCacheDatabase(PathOf("cache.db"), 2);
  const std::string old = ReadWholeFile(PathOf("cache.db"));
  ServeEndless("/mofu/cache.db");
  CacheDownloader::Options options;
  options.maxBytes = 16 * kMiB;
  EXPECT_FALSE(CacheDownloader(options).Download(session_));
  EXPECT_EQ(old, ReadWholeFile(PathOf("cache.db")));
  EXPECT_EQ((std::vector<std::string>{"cache.db", "image", "log.txt"}), FilesIn(Dir()));
}

}  // namespace
