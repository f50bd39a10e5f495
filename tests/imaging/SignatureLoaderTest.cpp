#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "imaging/D3DDevice.h"
#include "imaging/ImageCacheDirectX.h"
#include "imaging/ImageDecoder.h"
#include "imaging/Resampler.h"
#include "infra/Platform.h"
#include "infra/TextEncoding.h"
#include "DeviceTest.h"
#include "Pictures.h"
#include "support/ProgramDirectoryTest.h"

namespace {

using pictures::Rgba;

const SjisText kStarted{u8"D3DDevice::Initialize() : DirectXの初期化に成功しました"};
const SjisText kGifFailed{u8"ImageCache::LoadImage() : gifファイルの読み込みに失敗しました "};
const SjisText kTextureFailed{u8"ImageCache::LoadImage() : テクスチャの読み込みに失敗しました "};

class SignatureLoaderTest : public DeviceTest {
 protected:
  static ImageCache::Colours Expected(const DecodedImage& picture) {
    const auto signature = ReduceToSignature(picture);
    ImageCache::Colours colours{};
    std::copy(signature.begin(), signature.end(), colours.begin());
    return colours;
  }
  // Every file below the program directory but the log, relative names.
  std::set<std::string> Files() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(Dir())) {
      if (entry.is_regular_file()) names.insert(std::filesystem::relative(entry.path(), Dir()).generic_string());
    }
    names.erase("log.txt");
    return names;
  }
  // The log without the device's start line.
  std::vector<std::string> Messages() const {
    std::vector<std::string> messages = LogMessages();
    messages.erase(std::remove(messages.begin(), messages.end(), kStarted.str()), messages.end());
    return messages;
  }
  bool Logged(const std::string& message) const {
    const auto messages = Messages();
    return std::find(messages.begin(), messages.end(), message) != messages.end();
  }

  static DecodedImage Photo() { return pictures::Gradient(50, 40); }
  static DecodedImage Palette() {
    return pictures::Make(31, 17, [](int x, int y) {
      return (x / 4 + y / 3) % 2 ? Rgba{250, 30, 60, 255} : Rgba{20, 90, 200, 255};
    });
  }
};

TEST_F(SignatureLoaderTest, SignatureIsTheReductionOfTheDecodedPicture) {
  const std::string path = Put("photo.png", pictures::Png(Photo()));
  ImageCacheDirectX cache;
  ASSERT_TRUE(cache.LoadImage(path));
  EXPECT_EQ(cache.colours, Expected(Photo()));
  EXPECT_EQ(std::count(cache.cacheText.begin(), cache.cacheText.end(), ','), 27);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(Files(), std::set<std::string>{"photo.png"});
}

TEST_F(SignatureLoaderTest, SameFileAlwaysGivesTheSameText) {
  const std::string path = Put("photo.jpg", pictures::Jpeg(Photo()));
  ImageCacheDirectX first, second;
  ASSERT_TRUE(first.LoadImage(path));
  ASSERT_TRUE(second.LoadImage(path));
  EXPECT_EQ(first.cacheText, second.cacheText);
}

TEST_F(SignatureLoaderTest, UpperCaseGifLoadsAndWritesNothing) {
  const std::string path = Put("PIC.GIF", pictures::Gif(Palette()));
  ImageCacheDirectX cache;
  ASSERT_TRUE(cache.LoadImage(path));
  EXPECT_EQ(cache.colours, Expected(Palette()));
  EXPECT_EQ(Files(), std::set<std::string>{"PIC.GIF"});
}

TEST_F(SignatureLoaderTest, PictureInAFolderNamedGifLoadsAndLeavesNothingBehind) {
  const std::string path = Put("album.gif/photo.png", pictures::Png(Palette()));
  ImageCacheDirectX cache;
  ASSERT_TRUE(cache.LoadImage(path));
  EXPECT_EQ(cache.colours, Expected(Palette()));
  EXPECT_EQ(Files(), std::set<std::string>{"album.gif/photo.png"});
}

TEST_F(SignatureLoaderTest, GifFollowedByAnotherExtensionStillLoads) {
  const std::string path = Put("cat.gif.jpeg", pictures::Png(Palette()));
  ImageCacheDirectX cache;
  EXPECT_TRUE(cache.LoadImage(path));
  EXPECT_EQ(cache.colours, Expected(Palette()));
  EXPECT_EQ(Files(), std::set<std::string>{"cat.gif.jpeg"});
}

TEST_F(SignatureLoaderTest, ExistingBmpBesideAGifIsNeitherReplacedNorRemoved) {
  const std::string gif = Put("cat.gif", pictures::Gif(Palette()));
  const std::string mine = Put("cat.bmp", "the user's own file");
  ImageCacheDirectX cache;
  ASSERT_TRUE(cache.LoadImage(gif));
  EXPECT_EQ(cache.colours, Expected(Palette()));
  EXPECT_EQ(ReadWholeFile(mine), "the user's own file");
  EXPECT_EQ(Files(), (std::set<std::string>{"cat.bmp", "cat.gif"}));
}

TEST_F(SignatureLoaderTest, BmpInputOnTheGifPathIsKept) {
  const std::string path = Put("x.gif.bmp", pictures::Bmp(Palette()));
  ImageCacheDirectX cache;
  ASSERT_TRUE(cache.LoadImage(path));
  EXPECT_EQ(cache.colours, Expected(Palette()));
  EXPECT_EQ(ReadWholeFile(path), pictures::Bmp(Palette()));
  EXPECT_EQ(Files(), std::set<std::string>{"x.gif.bmp"});
}

TEST_F(SignatureLoaderTest, UsersTempBmpInTheProgramDirectoryIsKept) {
  Put("temp.bmp", "precious");
  const std::string path = Put("photo.png", pictures::Png(Photo()));
  ImageCacheDirectX cache;
  ASSERT_TRUE(cache.LoadImage(path));
  EXPECT_EQ(ReadWholeFile(PathOf("temp.bmp")), "precious");
  EXPECT_EQ(Files(), (std::set<std::string>{"photo.png", "temp.bmp"}));
}

TEST_F(SignatureLoaderTest, FileThatIsNotAPictureLeavesZerosAndLogsTheTextureLine) {
  const std::string path = Put("notes.txt", "just words");
  ImageCacheDirectX cache;
  EXPECT_FALSE(cache.LoadImage(path));
  EXPECT_EQ(cache.colours, ImageCache::Colours{});
  EXPECT_TRUE(cache.cacheText.empty());
  EXPECT_TRUE(Logged(kTextureFailed + PathForLog(path)));
}

TEST_F(SignatureLoaderTest, FailedLoadKeepsThePreviousSignature) {
  ImageCacheDirectX cache;
  ASSERT_TRUE(cache.LoadImage(Put("photo.png", pictures::Png(Photo()))));
  const ImageCacheDirectX before = cache;
  EXPECT_FALSE(cache.LoadImage(PathOf("missing.png")));
  EXPECT_EQ(cache.colours, before.colours);
  EXPECT_EQ(cache.cacheText, before.cacheText);
}

TEST_F(SignatureLoaderTest, BrokenGifLogsTheDecodeLineAndLeavesNothingBehind) {
  const std::string gif = pictures::Gif(Palette());
  const std::string path = Put("broken.gif", gif.substr(0, gif.size() / 2));
  ImageCacheDirectX cache;
  EXPECT_FALSE(cache.LoadImage(path));
  EXPECT_TRUE(Logged(kGifFailed + PathForLog(path)));
  EXPECT_EQ(Files(), std::set<std::string>{"broken.gif"});
}

TEST_F(SignatureLoaderTest, SignatureNeedsNoDevice) {
  D3DDevice::Shutdown();
  const std::string path = Put("photo.png", pictures::Png(Photo()));
  ImageCacheDirectX cache;
  EXPECT_TRUE(cache.LoadImage(path));
  EXPECT_EQ(cache.colours, Expected(Photo()));
}

TEST_F(SignatureLoaderTest, RelativePathsResolveInTheProgramDirectory) {
  Put("photo.png", pictures::Png(Photo()));
  ASSERT_TRUE(platform::ChangeDirectory("/"));
  ImageCacheDirectX cache;
  ASSERT_TRUE(cache.LoadImage("photo.png"));
  EXPECT_EQ(std::filesystem::current_path().string() + platform::PathSeparator(), Dir());
}

TEST_F(SignatureLoaderTest, ConcurrentSignaturesOfOneGifDoNotCollide) {
  const std::string path = Put("shared.gif", pictures::Gif(Palette()));
  const ImageCache::Colours expected = Expected(Palette());
  std::vector<std::thread> threads;
  std::atomic<int> good{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 10; ++i) {
        ImageCacheDirectX cache;
        if (cache.LoadImage(path) && cache.colours == expected) ++good;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(good.load(), 40);
  EXPECT_EQ(Files(), std::set<std::string>{"shared.gif"});
}

}  // namespace
