#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "imaging/D3DDevice.h"
#include "imaging/ImageDecoder.h"
#include "imaging/PreviewLoader.h"
#include "infra/TextEncoding.h"
#include "DeviceTest.h"
#include "Pictures.h"
#include "support/ProgramDirectoryTest.h"

namespace {

using pictures::Rgba;

const SjisText kStarted{u8"D3DDevice::Initialize() : DirectXの初期化に成功しました"};
const SjisText kGifFailed{u8"CTintwiseDlg::LoadImage() : gifファイルの読み込みに失敗しました "};
const SjisText kTextureFailed{u8"CTintwiseDlg::LoadImage() : テクスチャの読み込みに失敗しました "};

class PreviewTest : public DeviceTest {
 protected:
  std::uint32_t BackBufferAt(int x, int y) const {
    return D3DDevice::Current()->BackBuffer()[y * D3DDevice::kBackBufferSize + x];
  }
  size_t FileCount() const {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(Dir()),
                                             std::filesystem::directory_iterator()));
  }
  // The loader's lines, in order, without the device's start line.
  std::vector<std::string> LoaderLines() const {
    std::vector<std::string> lines;
    for (const std::string& m : LogMessages()) {
      if (m.rfind("CTintwiseDlg::", 0) == 0) lines.push_back(m);
    }
    return lines;
  }
  static DecodedImage Quadrants() {
    return pictures::Make(2, 2, [](int x, int y) {
      static const Rgba kColours[4] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 255}};
      return kColours[y * 2 + x];
    });
  }
};

TEST_F(PreviewTest, InitializeLogsTheSuccessLineAndShutdownReleases) {
  EXPECT_EQ(LogMessages(), std::vector<std::string>{kStarted.str()});
  EXPECT_NE(D3DDevice::Current(), nullptr);
  D3DDevice::Shutdown();
  EXPECT_EQ(D3DDevice::Current(), nullptr);
}

TEST_F(PreviewTest, TextureSizeIsRoundedUpToPowersOfTwo) {
  const auto texture = LoadPreviewTexture(Put("wide.png", pictures::Png(pictures::Gradient(100, 60))));
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->Width(), 128);
  EXPECT_EQ(texture->Height(), 64);
  EXPECT_TRUE(LoaderLines().empty());
}

TEST_F(PreviewTest, HugePictureGivesABoundedTexture) {
  const auto texture = LoadPreviewTexture(Put("strip.png", pictures::Png(pictures::Gradient(3000, 5))));
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->Width(), D3DDevice::kMaxTextureSide);
  EXPECT_EQ(texture->Height(), 8);
}

TEST_F(PreviewTest, PowerOfTwoPictureKeepsItsPixels) {
  const auto texture = LoadPreviewTexture(Put("q.bmp", pictures::Bmp(Quadrants())));
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->Pixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(texture->Pixel(1, 0), 0xFF00FF00u);
  EXPECT_EQ(texture->Pixel(0, 1), 0xFF0000FFu);
  EXPECT_EQ(texture->Pixel(1, 1), 0xFFFFFFFFu);
}

TEST_F(PreviewTest, DrawingPointSamplesTheWholeTextureAndNullClears) {
  const auto texture = LoadPreviewTexture(Put("q.bmp", pictures::Bmp(Quadrants())));
  ASSERT_NE(texture, nullptr);
  D3DDevice::Current()->DrawPreview(texture.get());
  EXPECT_EQ(BackBufferAt(0, 0), 0xFFFF0000u);
  EXPECT_EQ(BackBufferAt(63, 63), 0xFFFF0000u);
  EXPECT_EQ(BackBufferAt(64, 0), 0xFF00FF00u);
  EXPECT_EQ(BackBufferAt(0, 64), 0xFF0000FFu);
  EXPECT_EQ(BackBufferAt(127, 127), 0xFFFFFFFFu);
  D3DDevice::Current()->DrawPreview(nullptr);
  EXPECT_EQ(BackBufferAt(0, 0), 0xFF000000u);
  EXPECT_EQ(BackBufferAt(127, 127), 0xFF000000u);
}

TEST_F(PreviewTest, GifPreviewWritesNothing) {
  const auto texture = LoadPreviewTexture(Put("Anim.Gif", pictures::Gif(Quadrants())));
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->Pixel(1, 1), 0xFFFFFFFFu);
  EXPECT_EQ(FileCount(), 2u);  // the GIF and the log
}

TEST_F(PreviewTest, UndecodableGifLogsDecodeAndTextureLines) {
  const std::string path = Put("bad.gif", "GIF89a but nothing more");
  EXPECT_EQ(LoadPreviewTexture(path), nullptr);
  const std::vector<std::string> lines = LoaderLines();
  ASSERT_EQ(lines.size(), 3u);  // the two lines of the loader, then the reason
  EXPECT_EQ(lines[0], kGifFailed + PathForLog(path));
  EXPECT_EQ(lines[1], kTextureFailed + PathForLog(path));
  EXPECT_NE(lines[2].find("(GIF: "), std::string::npos) << lines[2];
  EXPECT_EQ(FileCount(), 2u);
}

TEST_F(PreviewTest, FailedLoadGivesNoTexture) {
  const std::string path = Put("notes.txt", "not a picture");
  EXPECT_EQ(LoadPreviewTexture(path), nullptr);
  const std::vector<std::string> lines = LoaderLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], kTextureFailed + PathForLog(path));
  EXPECT_EQ(lines[1], SjisText(u8"CTintwiseDlg::LoadImage() : 対応していない形式です (not a picture in a known format)").str());
}

// The window's picture: its own pixels when small enough, otherwise both
// sides brought down by one factor; no device needed; failures as above.
TEST_F(PreviewTest, PreviewPictureKeepsItsPixelsOrIsHeldToTheSideGiven) {
  D3DDevice::Shutdown();
  const auto quadrants = LoadPreviewPicture(Put("q.bmp", pictures::Bmp(Quadrants())), 16);
  ASSERT_NE(quadrants, nullptr);
  EXPECT_EQ(quadrants->Pixel(1, 0), 0xFF00FF00u);
  EXPECT_EQ(quadrants->Pixel(0, 1), 0xFF0000FFu);
  const struct {
    int width, height, maxSide, expectedWidth, expectedHeight;
  } cases[] = {{100, 60, 2048, 100, 60}, {3000, 5, 300, 300, 1}, {400, 1000, 500, 200, 500}};
  for (const auto& c : cases) {
    const auto picture = LoadPreviewPicture(Put("g.png", pictures::Png(pictures::Gradient(c.width, c.height))), c.maxSide);
    ASSERT_NE(picture, nullptr) << c.width;
    EXPECT_EQ(picture->Width(), c.expectedWidth);
    EXPECT_EQ(picture->Height(), c.expectedHeight);
  }
  EXPECT_TRUE(LoaderLines().empty());
  const std::string path = Put("notes.txt", "not a picture");
  EXPECT_EQ(LoadPreviewPicture(path, 64), nullptr);
  ASSERT_FALSE(LoaderLines().empty());
  EXPECT_EQ(LoaderLines()[0], kTextureFailed + PathForLog(path));
}

TEST_F(PreviewTest, TexturesOutliveTheDevice) {
  const auto texture = LoadPreviewTexture(Put("q.bmp", pictures::Bmp(Quadrants())));
  D3DDevice::Shutdown();
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->Pixel(1, 0), 0xFF00FF00u);
}

}  // namespace
