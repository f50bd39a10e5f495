#include "imaging/Resampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "imaging/FilterWeights.h"
#include "Pictures.h"

namespace {

using pictures::Rgba;

class ResamplerTest : public ::testing::Test {
 protected:
  // Weight of source index i for destination index d (summed over entries).
  static float WeightOf(const FilterWeights& table, int i, int d) {
    float sum = 0;
    for (const FilterWeight* e = table.Begin(i); e != table.End(i); ++e) {
      if (e->index == d) sum += e->weight;
    }
    return sum;
  }
  static std::array<std::uint8_t, 27> Signature(const DecodedImage& image) { return ReduceToSignature(image); }
  // The 27 values of one channel... laid out as a 3 x 3 grid of one channel.
  static std::array<int, 9> Channel(const std::array<std::uint8_t, 27>& signature, int channel) {
    std::array<int, 9> grid{};
    for (int i = 0; i < 9; ++i) grid[static_cast<size_t>(i)] = signature[static_cast<size_t>(i * 3 + channel)];
    return grid;
  }
};

TEST_F(ResamplerTest, ThreeWideSourceGivesThreeQuartersToOwnColumnAndWrapsEighths) {
  const FilterWeights table = FilterWeights::Build(3, 3);
  EXPECT_FLOAT_EQ(WeightOf(table, 0, 0), 0.75f);
  EXPECT_FLOAT_EQ(WeightOf(table, 0, 1), 0.125f);
  EXPECT_FLOAT_EQ(WeightOf(table, 0, 2), 0.125f);
  EXPECT_FLOAT_EQ(WeightOf(table, 2, 0), 0.125f);
  EXPECT_FLOAT_EQ(WeightOf(table, 1, 1), 0.75f);
}

TEST_F(ResamplerTest, SixWideSourceGivesSevenAndOneSixteenths) {
  const FilterWeights table = FilterWeights::Build(6, 3);
  const float expected[6][3] = {{7, 0, 1}, {7, 1, 0}, {1, 7, 0}, {0, 7, 1}, {0, 1, 7}, {1, 0, 7}};
  for (int i = 0; i < 6; ++i) {
    for (int d = 0; d < 3; ++d) EXPECT_FLOAT_EQ(WeightOf(table, i, d), expected[i][d] / 16) << i << "," << d;
  }
}

TEST_F(ResamplerTest, EachDestinationsWeightsSumToOneForAnyLengths) {
  for (int source : {1, 2, 3, 4, 5, 7, 10, 33, 100, 641, 4000}) {
    for (int destination : {1, 2, 3, 8, 64, 128}) {
      const FilterWeights table = FilterWeights::Build(source, destination);
      std::vector<double> sums(static_cast<size_t>(destination), 0.0);
      for (int i = 0; i < source; ++i) {
        for (const FilterWeight* e = table.Begin(i); e != table.End(i); ++e) {
          ASSERT_GE(e->index, 0);
          ASSERT_LT(e->index, destination);
          sums[static_cast<size_t>(e->index)] += e->weight;
        }
      }
      for (double sum : sums) EXPECT_NEAR(sum, 1.0, 1e-4) << source << " -> " << destination;
    }
  }
}

TEST_F(ResamplerTest, DitherTableMatchesTheOrderedMatrixWithOddRowsReversed) {
  const int expected[3][3] = {{31, 15, 27}, {3, 23, 7}, {25, 9, 29}};
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) EXPECT_EQ(DitherValue(x, y, 3), expected[y][x] / 32.0f);
  }
  // Five wide: odd rows (1 and 3) reversed across the picture's width, and
  // the matrix repeating every four columns and rows.
  const int wide[5][5] = {{31, 15, 27, 11, 31}, {7, 19, 3, 23, 7}, {25, 9, 29, 13, 25},
                          {1, 21, 5, 17, 1},    {31, 15, 27, 11, 31}};
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 5; ++x) EXPECT_EQ(DitherValue(x, y, 5), wide[y][x] / 32.0f) << x << "," << y;
  }
}

TEST_F(ResamplerTest, ThreeByThreePictureIsItsOwnSignature) {
  std::mt19937 random(7);
  const DecodedImage image = pictures::Random(3, 3, random);
  const auto signature = Signature(image);
  for (int i = 0; i < 9; ++i) {
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(signature[static_cast<size_t>(i * 3 + c)], image.Row8(i / 3)[(i % 3) * 4 + c]);
    }
  }
}

TEST_F(ResamplerTest, SmallFlatPictureKeepsItsColour) {
  for (int side : {2, 4, 5, 7, 16, 40}) {
    const auto signature = Signature(pictures::Solid(side, side + 1, {127, 200, 254, 255}));
    for (int i = 0; i < 9; ++i) {
      EXPECT_EQ(signature[static_cast<size_t>(i * 3)], 127) << side;
      EXPECT_EQ(signature[static_cast<size_t>(i * 3 + 1)], 200) << side;
      EXPECT_EQ(signature[static_cast<size_t>(i * 3 + 2)], 254) << side;
    }
  }
}

TEST_F(ResamplerTest, OneWhiteCornerPixelSpreadsToTheWrappedCorners) {
  const DecodedImage image = pictures::Make(6, 6, [](int x, int y) {
    return x == 0 && y == 0 ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 0, 255};
  });
  const auto signature = Signature(image);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(Channel(signature, c), (std::array<int, 9>{49, 0, 7, 0, 0, 0, 7, 0, 1}));
  }
}

TEST_F(ResamplerTest, HalfBlackHalfWhitePictureFollowsTheDither) {
  const DecodedImage image = pictures::Make(100, 10, [](int x, int) {
    return x < 50 ? Rgba{0, 0, 0, 255} : Rgba{255, 255, 255, 255};
  });
  const auto signature = Signature(image);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(Channel(signature, c), (std::array<int, 9>{1, 127, 254, 1, 128, 254, 1, 127, 254}));
  }
}

TEST_F(ResamplerTest, AlphaNeverReachesTheColours) {
  const auto opaque = Signature(pictures::Solid(9, 9, {10, 20, 30, 255}));
  const auto transparent = Signature(pictures::Solid(9, 9, {10, 20, 30, 0}));
  EXPECT_EQ(opaque, transparent);
}

TEST_F(ResamplerTest, SixteenBitSamplesAreScaledByTheirMaximum) {
  DecodedImage image;
  image.Allocate(3, 3, true);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) {
      std::uint16_t* p = image.Row16(y) + x * 4;
      p[0] = 65535;
      p[1] = 32768;  // 127.5 -> 128 with any dither above one half
      p[2] = 0;
      p[3] = 65535;
    }
  }
  const auto signature = Signature(image);
  EXPECT_EQ(signature[0], 255);
  EXPECT_EQ(signature[1], 128);  // dither 31/32 at the top-left
  EXPECT_EQ(signature[2], 0);
}

TEST_F(ResamplerTest, SimdKernelIsBitIdenticalToScalarOnRandomPictures) {
  std::mt19937 random(20240607);
  std::uniform_int_distribution<int> side(1, 90);
  for (int round = 0; round < 300; ++round) {
    const DecodedImage image = pictures::Random(side(random), side(random), random);
    const int width = round % 3 == 0 ? 3 : side(random);
    const int height = round % 3 == 0 ? 3 : side(random);
    const auto plain = ResampleImage(image, width, height, ResampleKernel::kScalar);
    ASSERT_EQ(plain, ResampleImage(image, width, height, ResampleKernel::kSimd))
        << image.Width() << "x" << image.Height() << " -> " << width << "x" << height;
    ASSERT_EQ(plain, ResampleImage(image, width, height, ResampleKernel::kSse2))
        << image.Width() << "x" << image.Height() << " -> " << width << "x" << height;
  }
}

TEST_F(ResamplerTest, SimdKernelIsBitIdenticalOnSixteenBitPictures) {
  std::mt19937 random(99);
  std::uniform_int_distribution<int> sample(0, 65535);
  for (int round = 0; round < 30; ++round) {
    DecodedImage image;
    image.Allocate(5 + round * 3, 4 + round * 2, true);
    for (int y = 0; y < image.Height(); ++y) {
      for (int i = 0; i < image.Width() * 4; ++i) image.Row16(y)[i] = static_cast<std::uint16_t>(sample(random));
    }
    const auto plain = ResampleImage(image, 3, 3, ResampleKernel::kScalar);
    EXPECT_EQ(plain, ResampleImage(image, 3, 3, ResampleKernel::kSimd));
    EXPECT_EQ(plain, ResampleImage(image, 3, 3, ResampleKernel::kSse2));
  }
}

// Large downscales sum tens of thousands of terms per destination pixel, so
// any change in the order of additions moves some bytes; small pictures
// almost never show it.
TEST_F(ResamplerTest, SimdKernelsAreBitIdenticalOnLargeDownscales) {
  const struct {
    int sourceWidth, sourceHeight, width, height;
    bool sixteenBit;
  } cases[] = {
      {640, 480, 3, 3, false},   {480, 640, 3, 3, false},  {641, 479, 3, 3, false},
      {1280, 720, 3, 3, false},  {2000, 301, 3, 3, false}, {97, 2000, 3, 3, false},
      {640, 480, 7, 5, false},   {1000, 750, 64, 48, false}, {800, 600, 3, 3, true},
      // Many destination pixels, each a sum of hundreds of terms: a changed
      // order moves a few of their bytes for certain.
      {640, 480, 80, 60, false}, {1920, 1440, 160, 120, false}, {1200, 1600, 30, 40, true},
  };
  std::mt19937 random(7);
  for (const auto& c : cases) {
    DecodedImage image;
    image.Allocate(c.sourceWidth, c.sourceHeight, c.sixteenBit);
    // Smooth content with noise: large sums of similar terms, as in photographs.
    std::uniform_int_distribution<int> noise(0, 24);
    for (int y = 0; y < c.sourceHeight; ++y) {
      for (int x = 0; x < c.sourceWidth; ++x) {
        const int base[4] = {x * 200 / c.sourceWidth, y * 200 / c.sourceHeight, (x + y) % 200, 255 - noise(random)};
        for (int ch = 0; ch < 4; ++ch) {
          const int value = std::min(255, base[ch] + (ch < 3 ? noise(random) : 0));
          if (c.sixteenBit) {
            image.Row16(y)[x * 4 + ch] = static_cast<std::uint16_t>(std::min(65535, value * 257 + noise(random)));
          } else {
            image.Row8(y)[x * 4 + ch] = static_cast<std::uint8_t>(value);
          }
        }
      }
    }
    const auto plain = ResampleImage(image, c.width, c.height, ResampleKernel::kScalar);
    EXPECT_EQ(plain, ResampleImage(image, c.width, c.height, ResampleKernel::kSimd))
        << c.sourceWidth << "x" << c.sourceHeight << " -> " << c.width << "x" << c.height;
    EXPECT_EQ(plain, ResampleImage(image, c.width, c.height, ResampleKernel::kSse2))
        << c.sourceWidth << "x" << c.sourceHeight << " -> " << c.width << "x" << c.height;
  }
}

TEST_F(ResamplerTest, UpscalingAFlatPictureKeepsItsColour) {
  const std::vector<std::uint32_t> pixels = ResampleImage(pictures::Solid(5, 3, {40, 80, 160, 255}), 8, 4);
  ASSERT_EQ(pixels.size(), 32u);
  for (std::uint32_t pixel : pixels) EXPECT_EQ(pixel, 0xFF2850A0u);
}

}  // namespace

namespace {

// Single-precision accumulation over a large picture drifts upward; stored
// signatures carry the same drift, so it must be reproduced, not corrected.
TEST(ResamplerDriftTest, LargeFlatPictureDriftsLikeTheStoredSignatures) {
  const auto signature = ReduceToSignature(pictures::Solid(640, 480, {127, 200, 254, 255}));
  EXPECT_EQ(signature[0], 128);
  EXPECT_EQ(signature[1], 201);
  EXPECT_EQ(signature[2], 255);
}

}  // namespace
