// Pictures that arrive as bytes: a link fetched for a search (QueryPicture),
// the site's picture of an entry (SitePictureFetcher) and its bounded cache.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <thread>

#include "control/PictureCheck.h"
#include "control/PictureQueue.h"
#include "control/QueryPicture.h"
#include "control/SitePictureCache.h"
#include "control/SitePictureFetcher.h"
#include "control/SitePictureFixture.h"
#include "support/CacheFileWriter.h"
#include "support/FileModes.h"
#include "demosite/DemoSite.h"
#include "support/SitePages.h"

namespace {

TEST_F(SitePictureTest, ALinkedPictureShowsItsProgressInBytesAndLivesInAPrivateFileUntilDone) {
  const std::string png = SolidPng(1, 2, 3);
  server_.Serve("/p.png", png, "image/png");
  std::string path;
  {
    QueryPicture picture;
    running_.store(true);
    ASSERT_EQ(picture.Download(server_.Url("/p.png"), context_), QueryPicture::Outcome::kOk);
    path = picture.Path();
    EXPECT_EQ(ReadWholeFile(path), png);
    EXPECT_EQ(path.substr(path.size() - 4), ".png");
    EXPECT_TRUE(IsPrivateDirectory(std::filesystem::path(path).parent_path().string()));
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(path).parent_path()));
  const std::string size = std::to_string(png.size());
  EXPECT_EQ(view_.StatusTexts(),
            (std::vector<std::string>{Sjis(u8"画像をダウンロード中..."),
                                      Sjis(u8"画像をダウンロード中...") + "\n" + size + " / " + size + Sjis(u8" バイト")}));
}


TEST_F(SitePictureTest, BytesAreRecognisedByTheirContentNotTheirName) {
  struct Case {
    std::string bytes;
    QueryPicture::Outcome expected;
  };
  const std::vector<Case> cases = {
      {SolidPng(9, 9, 9), QueryPicture::Outcome::kOk},
      {"<!DOCTYPE html><html><img src=\"a.png\"></html>", QueryPicture::Outcome::kNotAPicture},
      {"\x89PN", QueryPicture::Outcome::kNotAPicture},
      {"", QueryPicture::Outcome::kNotAPicture},
  };
  for (const Case& c : cases) EXPECT_EQ(QueryPicture().Keep(c.bytes), c.expected) << c.bytes;
}

TEST_F(SitePictureTest, OnlyHttpAndHttpsAddressesAreLinks) {
  for (const char* link : {"http://a/b.png", "HTTPS://a/b.png", "https://127.0.0.1:8/x"})
    EXPECT_TRUE(QueryPicture::IsLink(link)) << link;
  for (const char* other : {"", "file:///a.png", "/home/a.png", "ftp://a/b", "httpx://a", " http://a"})
    EXPECT_FALSE(QueryPicture::IsLink(other)) << other;
}

// The page as the generation run reads it: a stub at the first address sends
// the fetch to the second; the picture is then kept and found again.
TEST_F(SitePictureTest, TheSitePictureComesFromThePageAndIsKeptForNextTime) {
  PageFields fields;
  fields.imageUrl = server_.Url("/img/42.png");
  server_.Serve("/mofuimg/pimg.php?imgid=42", "<html>short</html>", "text/html");
  server_.Serve("/mofuimg/spimg.php?imgid=42", MakePage(fields), "text/html");
  server_.Serve("/img/42.png", SolidPng(5, 6, 7), "image/png");
  server_.Serve("/mofuimg/pimg.php?imgid=43", MakePage({}), "text/html");
  SitePictureCache cache(PathOf("site"));
  std::atomic<bool> running{true};
  for (int round = 0; round < 2; ++round) {
    const SitePictureFetcher::Result result = SitePictureFetcher::Fetch("42", session_, &cache, running);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.bytes, SolidPng(5, 6, 7));
  }
  EXPECT_EQ(server_.RequestCount("/mofuimg/spimg.php?imgid=42"), 1);
  EXPECT_EQ(server_.RequestCount("/img/42.png"), 1);

  const SitePictureFetcher::Result noAddress = SitePictureFetcher::Fetch("43", session_, &cache, running);
  EXPECT_FALSE(noAddress.ok);
  EXPECT_EQ(noAddress.message, Sjis(u8"画像のアドレスがありません"));
  // Reading pages leaves nothing of the generation run's in the data directory.
  for (const char* folder : {"php", "image"}) EXPECT_FALSE(std::filesystem::exists(PathOf(folder))) << folder;
}

// A search's confirmation in the window: close rows, a site that
// answers no page. One failed fetch ends the asking (the rest would only
// wait out the spacing to fail alike); the verdict stands, not confirmed.
// A search aborted before it ends asks nothing.
TEST_F(SitePictureTest, ASearchsConfirmationAsksAnUnreachableSiteOnceAndNothingOnceAborted) {
  {
    CacheFileWriter cache(PathOf("cache.db"));
    for (int i = 0; i < 3; ++i) cache.Add(std::to_string(1 + i), "t", "p", Uniform(50 + i));
  }
  WriteUniformPicture(PathOf("query.png"), 50);
  for (const int id : {1, 2, 3}) server_.ServeStatus("/mofuimg/pimg.php?imgid=" + std::to_string(id), 404);
  Control control(view_, std::make_shared<InternetSession>("Tintwise"));
  control.SetDatabasePath(PathOf("cache.db"));
  ASSERT_TRUE(control.OpenDatabase());
  control.SetPath(PathOf("query.png"));
  SitePictureCache cache(PathOf("site"));
  for (const bool aborted : {false, true}) {
    SCOPED_TRACE(aborted);
    control.SetRunning(true);
    ASSERT_TRUE(control.Search());
    ASSERT_EQ(control.LastDecision().outcome, Verdict::Outcome::kPosted);
    ASSERT_GE(Confirmation::Candidates(control.LastMatch(), control.LastDecision()).size(), 2u);
    if (aborted) control.Abort();
    const int before = server_.RequestCount("/mofuimg/pimg.php?imgid=1");
    const Confirmation::Result result = control.ConfirmLastSearch(&cache);
    EXPECT_EQ(result.state, aborted ? Confirmation::State::kNotNeeded : Confirmation::State::kUnreachable);
    EXPECT_EQ(result.decision.outcome, Verdict::Outcome::kPosted);
    EXPECT_EQ(server_.RequestCount("/mofuimg/pimg.php?imgid=1") - before, aborted ? 0 : 1);
    for (const char* other : {"2", "3"}) EXPECT_EQ(server_.RequestCount(std::string("/mofuimg/pimg.php?imgid=") + other), 0);
    EXPECT_FALSE(control.IsRunning());
    EXPECT_EQ(view_.EnableCalls().back(), true);
  }
}

// A queue's pictures confirmed in turn through one polite source: against
// the demo site one confirmed and one lowered (its entry's picture is
// another); with the site away the first fetch fails, the others are not
// asked and a picture already kept still confirms; Abort while the site
// keeps silent leaves that entry unconfirmed and the rest not checked.
TEST_F(SitePictureTest, AQueuesPicturesAreConfirmedOneAfterAnother) {
  const DemoCatalog catalog(6);
  DemoSite demo(catalog);
  ASSERT_TRUE(demo.Start("127.0.0.1", 0));
  // Picture k is the file of demo entry `shown`, stored under entry `row`'s id.
  struct Picture {
    std::size_t shown, row;
  };
  const Picture pictures[] = {{0, 0}, {2, 1}, {3, 3}, {4, 4}};
  std::vector<std::string> paths;
  {
    CacheFileWriter cache(PathOf("cache.db"));
    for (const Picture& p : pictures) {
      paths.push_back(PathOf("q" + std::to_string(paths.size())));
      WriteWholeFile(paths.back(), catalog.Entries()[p.shown].bytes);
      ImageCache::Colours signature{};
      std::string reason;
      ASSERT_TRUE(ReadSignature(paths.back(), &signature, &reason)) << reason;
      cache.Add(std::to_string(catalog.Entries()[p.row].id), "t", "p", signature);
    }
  }
  const std::string silentPage = "/mofuimg/pimg.php?imgid=" + std::to_string(catalog.Entries()[3].id);
  server_.ServeNoAnswer(silentPage);
  Control control(view_, std::make_shared<InternetSession>("Tintwise"));
  control.SetDatabasePath(PathOf("cache.db"));
  ASSERT_TRUE(control.OpenDatabase());
  SitePictureCache kept(PathOf("site"));
  const std::string posted = Sjis(u8"投稿済み");
  struct Case {
    const char* what;
    bool demoSite;  // else the loopback server: 404 but for the silent page
    std::vector<std::size_t> queue;
    std::vector<std::string> labels;
    std::size_t requests;  // to the loopback server
    bool abort;            // once the silent page is asked for
  };
  const Case cases[] = {
      {"demo site", true, {0, 1}, {posted + Sjis(u8"（確認済み）"), Sjis(u8"見つかりませんでした（サイトの画像と異なる）")}, 0, false},
      {"site away", false, {3, 0, 1}, {posted + Sjis(u8"（サイトの画像を取得できず未確認）"), posted + Sjis(u8"（確認済み）"),
        Sjis(u8"見つかりませんでした（サイトの画像と異なる）")}, 1, false},
      {"aborted", false, {2, 0}, {posted + Sjis(u8"（確認を中止しました）"), Sjis(u8"未チェック")}, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string host = c.demoSite ? "127.0.0.1:" + std::to_string(demo.Port()) : server_.Host();
    OverrideServerHosts(host, host);
    PictureQueue queue;
    std::vector<std::string> given;
    for (const std::size_t k : c.queue) given.push_back(paths[k]);
    ASSERT_EQ(queue.FillFrom(given), c.queue.size());
    std::vector<PictureQueue::Mark> marks;
    const std::size_t before = server_.Requests().size();
    control.SetRunning(true);
    std::thread abort([&] {
      for (int wait = 0; wait < 500 && c.abort; ++wait) {
        if (server_.RequestCount(silentPage) > 0) return control.Abort();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    });
    control.CheckQueue(queue, [&](std::size_t i) { marks.push_back(queue.MarkAt(i)); }, true, &kept);
    abort.join();
    for (std::size_t i = 0; i < c.labels.size(); ++i) EXPECT_EQ(queue.LabelAt(i), c.labels[i]) << i;
    EXPECT_EQ(server_.Requests().size() - before, c.requests);
    // Answers come as they are had: the first entry is confirming, then
    // settled, before the second is checked.
    ASSERT_GE(marks.size(), 3u);
    EXPECT_EQ(marks[1], PictureQueue::Mark::kConfirming);
    EXPECT_NE(marks[2], PictureQueue::Mark::kConfirming);
  }
}

// Requests that replace one another: only the last is delivered, and one
// that is still waiting is never fetched.
TEST_F(SitePictureTest, TheLastRequestWinsAndWaitingOnesAreNeverFetched) {
  server_.ServeNoAnswer("/mofuimg/pimg.php?imgid=1");
  for (const char* id : {"2", "3"}) {
    PageFields fields;
    fields.imageUrl = server_.Url(std::string("/img/") + id + ".png");
    server_.Serve(std::string("/mofuimg/pimg.php?imgid=") + id, MakePage(fields), "text/html");
    server_.Serve(std::string("/img/") + id + ".png", SolidPng(1, 1, 1), "image/png");
  }
  std::mutex mutex;
  std::vector<std::string> delivered;
  {
    SitePictureFetcher fetcher(session_, nullptr, [&](SitePictureFetcher::Result result) {
      std::lock_guard<std::mutex> lock(mutex);
      delivered.push_back(result.id);
    });
    fetcher.Request("1");
    // "1" is held up by the server; "2" waits and is replaced by "3".
    while (server_.RequestCount("/mofuimg/pimg.php?imgid=1") == 0) std::this_thread::yield();
    fetcher.Request("2");
    fetcher.Request("3");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
      std::lock_guard<std::mutex> lock(mutex);
      if (!delivered.empty()) break;
    }
  }
  EXPECT_EQ(delivered, std::vector<std::string>{"3"});
  EXPECT_EQ(server_.RequestCount("/mofuimg/pimg.php?imgid=2"), 0);
}

// Least recently used goes first: a hit keeps an old picture; the total
// stays within the limit, and a picture larger than the limit is not kept.
TEST_F(SitePictureTest, TheCacheDropsTheLeastRecentlyUsedToStayWithinItsLimit) {
  SitePictureCache cache(PathOf("site"), 1000);
  const auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); };
  cache.Store("1", std::string(400, 'a'));
  pause();
  cache.Store("2", std::string(400, 'b'));
  pause();
  ASSERT_TRUE(cache.Find("1"));  // now more recent than "2"
  pause();
  cache.Store("3", std::string(400, 'c'));
  EXPECT_TRUE(cache.Find("1"));
  EXPECT_FALSE(cache.Find("2"));
  EXPECT_TRUE(cache.Find("3"));
  EXPECT_EQ(cache.TotalBytes(), 800u);
  cache.Store("4", std::string(1001, 'd'));
  EXPECT_FALSE(cache.Find("4"));
  cache.Store("5", std::string(1000, 'e'));
  EXPECT_EQ(cache.TotalBytes(), 1000u);
  // An id cannot name a file outside the cache's directory.
  cache.Store("../escape", "x");
  EXPECT_FALSE(std::filesystem::exists(PathOf("escape")));
  EXPECT_FALSE(std::filesystem::exists(PathOf("site-..")));
}

// Uses whole seconds apart, set explicitly: an order that compared the
// seconds the wrong way round would drop the newest pictures first.
TEST_F(SitePictureTest, TheLeastRecentlyUsedGoesFirstWhenUsesAreSecondsApart) {
  SitePictureCache cache(PathOf("site"), 1000);
  const std::time_t now = std::time(nullptr);
  const std::pair<const char*, int> ages[] = {{"1", 300}, {"2", 200}, {"3", 100}};
  for (const auto& [id, age] : ages) {
    cache.Store(id, std::string(300, id[0]));
    ASSERT_TRUE(SetModificationTime(PathOf(std::string("site/site-") + id), now - age));
  }
  ASSERT_TRUE(cache.Find("1"));  // now the most recent
  cache.Store("4", std::string(300, '4'));
  for (const auto& [id, kept] : std::vector<std::pair<const char*, bool>>{{"1", true}, {"2", false}, {"3", true},
                                                                          {"4", true}})
    EXPECT_EQ(FileExists(PathOf(std::string("site/site-") + id)), kept) << id;
}

// The picture just stored is never the one dropped to make room for it, even
// when the others' times are not older (the same clock tick, or a clock set
// back after they were used).
TEST_F(SitePictureTest, ThePictureJustStoredIsKeptWhateverTheOthersTimes) {
  SitePictureCache cache(PathOf("site"), 1000);
  const std::time_t later = std::time(nullptr) + 100;
  for (const char* id : {"1", "2"}) {
    cache.Store(id, std::string(400, id[0]));
    ASSERT_TRUE(SetModificationTime(PathOf(std::string("site/site-") + id), later));
  }
  cache.Store("3", std::string(400, '3'));
  EXPECT_TRUE(FileExists(PathOf("site/site-3")));
  EXPECT_EQ(cache.TotalBytes(), 800u);
}



}  // namespace
