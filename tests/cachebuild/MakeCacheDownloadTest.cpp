#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "support/SitePages.h"
#include "cachebuild/MakeCacheDirectX.h"
#include "imaging/D3DDevice.h"
#include "imaging/ImageCacheDirectX.h"
#include "infra/InternetSession.h"
#include "infra/Platform.h"
#include "infra/ServerAddress.h"
#include "infra/TextEncoding.h"
#include "support/LoopbackHttpServer.h"
#include "support/LoopbackSiteTest.h"

namespace {

const std::string kFirst = "/mofuimg/pimg.php?imgid=";
const std::string kSecond = "/mofuimg/spimg.php?imgid=";

class MakeCacheDownloadTest : public LoopbackSiteTest {
 protected:
  std::unique_ptr<MakeCacheDirectX> Builder(const std::string& id) {
    return std::make_unique<MakeCacheDirectX>(session_, id, true);
  }
  // A page whose title is `title`, exactly `size` bytes long.
  static std::string PageOfSize(const std::string& title, size_t size) {
    PageFields fields;
    fields.title = title;
    std::string page = MakePage(fields, false);
    page.resize(std::max(size, page.size()), ' ');
    EXPECT_EQ(page.size(), size);
    return page;
  }
  void ServePage(const std::string& id, const PageFields& fields) {
    server_.Serve(kFirst + id, MakePage(fields), "text/html");
  }
  bool Logged(const char8_t* text) const {
    const std::string wanted = SjisText(text).str();
    for (const std::string& message : LogMessages())
      if (message.find(wanted) != std::string::npos) return true;
    return false;
  }
  static bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
  }

  InternetSession session_{"Tintwise"};
};

TEST_F(MakeCacheDownloadTest, PageOfAtMost4096BytesIsFetchedAgainFromTheSecondAddress) {
  server_.Serve(kFirst + "1", PageOfSize("first", 4096), "text/html");
  server_.Serve(kSecond + "1", PageOfSize("second", 5000), "text/html");
  auto builder = Builder("1");
  ASSERT_TRUE(builder->DownloadPHP());
  EXPECT_EQ(builder->title, "second");
  EXPECT_EQ(server_.RequestCount(kSecond + "1"), 1);
}

TEST_F(MakeCacheDownloadTest, PageOf4097BytesIsUsedAsItIs) {
  server_.Serve(kFirst + "1", PageOfSize("first", 4097), "text/html");
  auto builder = Builder("1");
  ASSERT_TRUE(builder->DownloadPHP());
  EXPECT_EQ(builder->title, "first");
  EXPECT_EQ(server_.RequestCount(kSecond + "1"), 0);
  EXPECT_EQ(ReadWholeFile(PathOf("php/1")).size(), 4097u);
}

TEST_F(MakeCacheDownloadTest, SavedPageIsReusedWithoutFetching) {
  auto builder = Builder("1");
  platform::MakeSharedDirectory(PathOf("php"));
  WriteWholeFile(PathOf("php/1"), PageOfSize("saved", 300));
  WriteWholeFile(PathOf("php/2"), "");
  EXPECT_TRUE(builder->DownloadPHP());
  EXPECT_EQ(builder->title, "saved");
  EXPECT_FALSE(Builder("2")->DownloadPHP());
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(MakeCacheDownloadTest, MissingPageFailsAndIsLogged) {
  server_.ServeStatus(kFirst + "1", 404);
  EXPECT_FALSE(Builder("1")->DownloadPHP());
  EXPECT_TRUE(Logged(u8"MakeCache::DownloadPHP() : htmlのダウンロードに失敗しました"));
  EXPECT_FALSE(Exists(PathOf("php/1")));
}

TEST_F(MakeCacheDownloadTest, BrokenOrOversizedPageLeavesNoFileToReuse) {
  server_.ServeTruncated(kFirst + "1", MakePage(PageFields{}), 20000);
  server_.ServeGenerated(kFirst + "2", MakeCache::kMaxPageBytes + 1);
  EXPECT_FALSE(Builder("1")->DownloadPHP());
  EXPECT_FALSE(Builder("2")->DownloadPHP());
  EXPECT_FALSE(Exists(PathOf("php/1")));
  EXPECT_FALSE(Exists(PathOf("php/2")));
  EXPECT_TRUE(Logged(u8"htmlのダウンロードが途中で途切れました"));
  EXPECT_TRUE(Logged(u8"htmlが大きすぎるので保存しませんでした"));
}

TEST_F(MakeCacheDownloadTest, ImageIsFetchedOnceAndThenReused) {
  server_.Serve("/img/a.png", SolidPng(200, 10, 10), "image/png");
  PageFields fields;
  fields.imageUrl = server_.Url("/img/a.png");
  ServePage("1", fields);
  ServePage("2", fields);
  for (const char* id : {"1", "2"}) {
    auto builder = Builder(id);
    ASSERT_TRUE(builder->DownloadPHP());
    ASSERT_TRUE(builder->DownloadImage());
    EXPECT_EQ(ReadWholeFile(builder->imagePath), SolidPng(200, 10, 10));
  }
  EXPECT_EQ(server_.RequestCount("/img/a.png"), 1);
}

TEST_F(MakeCacheDownloadTest, SameFileNameInTwoDirectoriesKeepsTwoImages) {
  server_.Serve("/a/x.png", SolidPng(255, 0, 0), "image/png");
  server_.Serve("/b/x.png", SolidPng(0, 0, 255), "image/png");
  auto first = Builder("1");
  auto second = Builder("2");
  first->imageUrl = server_.Url("/a/x.png");
  second->imageUrl = server_.Url("/b/x.png");
  ASSERT_TRUE(first->DownloadImage());
  ASSERT_TRUE(second->DownloadImage());
  EXPECT_NE(first->imagePath, second->imagePath);
  EXPECT_EQ(ReadWholeFile(second->imagePath), SolidPng(0, 0, 255));
}

TEST_F(MakeCacheDownloadTest, LocalImageNameStaysInsideTheImageDirectory) {
  const std::string named = MakeCache::LocalImageName("http://h/dir/photo.jpg");
  EXPECT_TRUE(named.starts_with("photo_") && named.ends_with(".jpg")) << named;
  EXPECT_NE(named, MakeCache::LocalImageName("http://h/other/photo.jpg"));
  EXPECT_TRUE(MakeCache::LocalImageName("photo.gif").starts_with("photo_"));
  for (const char* bad : {"", "http://h/", "http://h/..", "http://h/a/."})
    EXPECT_EQ(MakeCache::LocalImageName(bad), "") << bad;
}

TEST_F(MakeCacheDownloadTest, ImageFailuresAreLogged) {
  auto empty = Builder("1");
  EXPECT_FALSE(empty->DownloadImage());  // no address at all
  EXPECT_TRUE(Logged(u8"MakeCache::DownloadImage() : 画像ファイルのダウンロードに失敗しました"));

  server_.Serve("/img/b.png", SolidPng(1, 2, 3), "image/png");
  auto noDirectory = Builder("2");
  ::rmdir(PathOf("image").c_str());
  WriteWholeFile(PathOf("image"), "");  // a file where the folder should be
  noDirectory->imageUrl = server_.Url("/img/b.png");
  EXPECT_FALSE(noDirectory->DownloadImage());
  EXPECT_TRUE(Logged(u8"MakeCache::DownloadImage() : ローカルファイルを開けませんでした"));
}

// The folders are made by the first file saved into them, not before.
TEST_F(MakeCacheDownloadTest, BuilderMakesItsDirectoriesInAFreshProgramDirectory) {
  ::rmdir(PathOf("image").c_str());
  ::rmdir(PathOf("php").c_str());
  server_.Serve(kFirst + "3", PageOfSize("first", 4097), "text/html");
  server_.Serve("/img/d.png", SolidPng(5, 6, 7), "image/png");
  auto builder = Builder("3");
  EXPECT_FALSE(FileExists(PathOf("php")));
  EXPECT_TRUE(builder->DownloadPHP());
  EXPECT_TRUE(FileExists(PathOf("php/3")));
  builder->imageUrl = server_.Url("/img/d.png");
  EXPECT_TRUE(builder->DownloadImage());
  EXPECT_TRUE(FileExists(builder->imagePath));
}

TEST_F(MakeCacheDownloadTest, SignatureIsTheLoadersTextForTheImage) {
  server_.Serve("/img/c.png", SolidPng(30, 60, 90), "image/png");
  auto builder = Builder("1");
  builder->imageUrl = server_.Url("/img/c.png");
  ASSERT_TRUE(builder->DownloadImage());
  EXPECT_TRUE(builder->ComputeSignature());
  ImageCacheDirectX direct;
  ASSERT_TRUE(direct.LoadImage(builder->imagePath));
  EXPECT_EQ(builder->cache, direct.cacheText);
  EXPECT_EQ(std::count(builder->cache.begin(), builder->cache.end(), ','), 27);
}

}  // namespace
