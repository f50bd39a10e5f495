#include "imaging/ImageDecoder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "imaging/ImageWriter.h"
#include "Pictures.h"
#include "support/TempDirectory.h"

namespace {

using pictures::Rgba;
using PngColour = ImageWriter::PngColour;

std::span<const std::uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

void PutLe16(std::string& s, unsigned v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
void PutLe32(std::string& s, std::uint32_t v) {
  PutLe16(s, v & 0xFFFF);
  PutLe16(s, v >> 16);
}
void PutBe32(std::string& s, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>((v >> shift) & 0xFF);
}

// Hand-made BMP files, so every header form and bit depth can be tried.
struct BmpBuilder {
  int width = 2;
  int height = 2;  // negative: top-down
  int bitsPerPixel = 24;
  std::uint32_t compression = 0;
  std::uint32_t headerSize = 40;
  std::vector<std::uint32_t> palette;  // 0x00RRGGBB
  std::vector<std::uint32_t> masks;    // written after a 40-byte header, or inside a longer one
  std::vector<std::string> rows;       // file order, unpadded

  std::string Build() const {
    std::string info;
    PutLe32(info, headerSize);
    if (headerSize == 12) {
      PutLe16(info, static_cast<unsigned>(width));
      PutLe16(info, static_cast<unsigned>(height));
      PutLe16(info, 1);
      PutLe16(info, static_cast<unsigned>(bitsPerPixel));
    } else {
      PutLe32(info, static_cast<std::uint32_t>(width));
      PutLe32(info, static_cast<std::uint32_t>(height));
      PutLe16(info, 1);
      PutLe16(info, static_cast<unsigned>(bitsPerPixel));
      PutLe32(info, compression);
      PutLe32(info, 0);
      PutLe32(info, 2835);
      PutLe32(info, 2835);
      PutLe32(info, static_cast<std::uint32_t>(palette.size()));
      PutLe32(info, 0);
      for (size_t i = 0; headerSize > 40 && i < masks.size(); ++i) PutLe32(info, masks[i]);
      info.resize(headerSize, '\0');
      if (headerSize == 40) {
        for (std::uint32_t mask : masks) PutLe32(info, mask);
      }
    }
    for (std::uint32_t colour : palette) {
      info += static_cast<char>(colour & 0xFF);
      info += static_cast<char>((colour >> 8) & 0xFF);
      info += static_cast<char>((colour >> 16) & 0xFF);
      if (headerSize != 12) info += '\0';
    }
    std::string pixels;
    for (const std::string& row : rows) {
      pixels += row;
      pixels.resize((pixels.size() + 3) / 4 * 4, '\0');
    }
    std::string file = "BM";
    PutLe32(file, static_cast<std::uint32_t>(14 + info.size() + pixels.size()));
    PutLe32(file, 0);
    PutLe32(file, static_cast<std::uint32_t>(14 + info.size()));
    return file + info + pixels;
  }
};

std::string PngChunk(const std::string& type, const std::string& data) {
  std::string chunk;
  PutBe32(chunk, static_cast<std::uint32_t>(data.size()));
  const std::string body = type + data;
  chunk += body;
  PutBe32(chunk, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                                  static_cast<uInt>(body.size()))));
  return chunk;
}

class DecoderTest : public ::testing::Test {
 protected:
  bool Decode(const std::string& bytes) {
    error_.clear();
    return DecodeImage(Bytes(bytes), &image_, &error_);
  }
  Rgba At(int x, int y) const {
    return {static_cast<std::uint8_t>(image_.Sample(x, y, 0)), static_cast<std::uint8_t>(image_.Sample(x, y, 1)),
            static_cast<std::uint8_t>(image_.Sample(x, y, 2)), static_cast<std::uint8_t>(image_.Sample(x, y, 3))};
  }
  Rgba Rgb(int x, int y) const {
    Rgba p = image_.Rgba8(x, y);
    p[3] = 255;
    return p;
  }
  // Colour channels equal (alpha ignored) to `expected` everywhere.
  void ExpectColoursOf(const DecodedImage& expected) {
    ASSERT_EQ(image_.Width(), expected.Width());
    ASSERT_EQ(image_.Height(), expected.Height());
    for (int y = 0; y < expected.Height(); ++y) {
      for (int x = 0; x < expected.Width(); ++x) {
        for (int c = 0; c < 3; ++c) {
          ASSERT_EQ(image_.Rgba8(x, y)[static_cast<size_t>(c)], expected.Rgba8(x, y)[static_cast<size_t>(c)])
              << x << "," << y << " channel " << c;
        }
      }
    }
  }
  // Every prefix of a valid file (a few lengths) fails cleanly.
  void ExpectTruncationsFail(const std::string& bytes) {
    for (size_t length : {size_t{0}, size_t{1}, size_t{7}, bytes.size() / 3, bytes.size() / 2, bytes.size() - 20}) {
      if (length >= bytes.size()) continue;
      EXPECT_FALSE(Decode(bytes.substr(0, length))) << "length " << length << " of " << bytes.size();
      EXPECT_FALSE(error_.empty());
    }
  }

  DecodedImage image_;
  std::string error_;
};

// A picture of few colours, so palette forms can hold it.
DecodedImage FewColours() {
  return pictures::Make(13, 9, [](int x, int y) {
    static const Rgba kColours[4] = {{255, 0, 0, 255}, {0, 128, 0, 255}, {10, 20, 250, 255}, {90, 90, 90, 255}};
    return kColours[(x + 2 * y) % 4];
  });
}

DecodedImage Greys() {
  return pictures::Make(11, 7, [](int x, int y) {
    const std::uint8_t v = static_cast<std::uint8_t>((x * 7 + y * 31) % 256);
    return Rgba{v, v, v, 255};
  });
}

TEST_F(DecoderTest, PngColourFormsDecodeToTheirColours) {
  struct Case {
    PngColour colour;
    int depth;
    bool interlaced;
    DecodedImage picture;
  };
  std::mt19937 random(3);
  const DecodedImage noise = pictures::Random(17, 12, random);
  const Case cases[] = {
      {PngColour::kRgb, 8, false, noise},        {PngColour::kRgba, 8, false, noise},
      {PngColour::kRgb, 8, true, noise},         {PngColour::kRgba, 16, false, noise},
      {PngColour::kGrey, 8, false, Greys()},     {PngColour::kGreyAlpha, 8, true, Greys()},
      {PngColour::kGrey, 16, false, Greys()},    {PngColour::kPalette, 8, false, FewColours()},
      {PngColour::kPalette, 2, true, FewColours()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.colour) * 100 + c.depth + (c.interlaced ? 1000 : 0));
    ImageWriter::PngOptions options;
    options.colour = c.colour;
    options.bitDepth = c.depth;
    options.interlaced = c.interlaced;
    ASSERT_TRUE(Decode(pictures::Png(c.picture, options))) << error_;
    ExpectColoursOf(c.picture);
  }
}

TEST_F(DecoderTest, LowDepthGreyPngIsScaledToFullRange) {
  const DecodedImage picture = pictures::Make(4, 1, [](int x, int) {
    const std::uint8_t v = static_cast<std::uint8_t>(x * 85);  // 0, 85, 170, 255 -> 2-bit 0..3
    return Rgba{v, v, v, 255};
  });
  ASSERT_TRUE(Decode(pictures::Png(picture, {PngColour::kGrey, 2, false})));
  EXPECT_EQ(Rgb(0, 0), (Rgba{0, 0, 0, 255}));
  EXPECT_EQ(Rgb(1, 0), (Rgba{85, 85, 85, 255}));
  EXPECT_EQ(Rgb(3, 0), (Rgba{255, 255, 255, 255}));
}

TEST_F(DecoderTest, SixteenBitPngKeepsSixteenBits) {
  DecodedImage picture;
  picture.Allocate(2, 1, true);
  const std::uint16_t samples[8] = {65535, 257, 1, 65535, 40000, 0, 12345, 65535};
  std::copy(samples, samples + 8, picture.Row16(0));
  ASSERT_TRUE(Decode(pictures::Png(picture, {PngColour::kRgba, 16, false})));
  ASSERT_TRUE(image_.SixteenBit());
  EXPECT_EQ(image_.ChannelMax()[0], 65535);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(image_.Sample(i / 4, 0, i % 4), samples[i]);
}

TEST_F(DecoderTest, PaletteTransparencyBecomesAlphaButKeepsTheColour) {
  const DecodedImage picture = pictures::Make(2, 1, [](int x, int) {
    return x == 0 ? Rgba{200, 100, 50, 0} : Rgba{1, 2, 3, 255};
  });
  ASSERT_TRUE(Decode(pictures::Png(picture, {PngColour::kPalette, 8, false})));
  EXPECT_EQ(At(0, 0), (Rgba{200, 100, 50, 0}));
  EXPECT_EQ(At(1, 0), (Rgba{1, 2, 3, 255}));
}

TEST_F(DecoderTest, JpegDecodesCloseToTheOriginal) {
  const DecodedImage picture = pictures::Gradient(64, 48);
  ASSERT_TRUE(Decode(pictures::Jpeg(picture, 98))) << error_;
  ASSERT_EQ(image_.Width(), 64);
  ASSERT_EQ(image_.Height(), 48);
  for (int y = 0; y < 48; y += 5) {
    for (int x = 0; x < 64; x += 5) {
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(image_.Rgba8(x, y)[c], picture.Rgba8(x, y)[c], 6) << x << "," << y;
    }
  }
}

TEST_F(DecoderTest, GreyJpegBecomesGreyRgb) {
  std::string bytes;
  ImageWriter::JpegOptions options;
  options.grey = true;
  ASSERT_TRUE(ImageWriter::EncodeJpeg(pictures::Solid(16, 16, {128, 128, 128, 255}), &bytes, options));
  ASSERT_TRUE(Decode(bytes)) << error_;
  const Rgba p = Rgb(5, 5);
  EXPECT_NEAR(p[0], 128, 1);
  EXPECT_EQ(p[0], p[1]);
  EXPECT_EQ(p[1], p[2]);
}

TEST_F(DecoderTest, GifDecodesItsPaletteColoursAndDropsTransparency) {
  const DecodedImage picture = FewColours();
  ImageWriter::GifOptions options;
  options.transparentIndex = 0;  // the first colour seen: red
  ASSERT_TRUE(Decode(pictures::Gif(picture, options))) << error_;
  ExpectColoursOf(picture);
  EXPECT_EQ(At(0, 0), (Rgba{255, 0, 0, 255}));
}

TEST_F(DecoderTest, InterlacedGifRowsLandInPlace) {
  const DecodedImage picture = pictures::Make(3, 19, [](int, int y) {
    return Rgba{static_cast<std::uint8_t>(y * 10), 0, 0, 255};
  });
  ImageWriter::GifOptions options;
  options.interlaced = true;
  ASSERT_TRUE(Decode(pictures::Gif(picture, options))) << error_;
  ExpectColoursOf(picture);
}

TEST_F(DecoderTest, ManyColourGifIsMappedToTheNearestCubeColour) {
  std::mt19937 random(5);
  const DecodedImage noise = pictures::Random(40, 40, random);
  ASSERT_TRUE(Decode(pictures::Gif(noise))) << error_;
  ASSERT_EQ(image_.Width(), 40);
  for (int y = 0; y < 40; y += 3) {
    for (int x = 0; x < 40; x += 3) {
      const Rgba got = Rgb(x, y);
      const Rgba want = noise.Rgba8(x, y);
      EXPECT_EQ(got[0] % 51, 0);
      EXPECT_NEAR(got[0], want[0], 26);
      EXPECT_NEAR(got[1], want[1], 22);
      EXPECT_NEAR(got[2], want[2], 26);
    }
  }
}

// The reader takes a GIF in blocks of 64 KiB: a comment of 256 successive
// lengths before the picture shifts the picture's data through every
// position against the block's end, so that some read ends exactly one byte
// before it. From memory and from a file, every shift decodes the same.
TEST_F(DecoderTest, GifReadsEndingAnywhereNearABlockBoundaryLoseNoByte) {
  std::mt19937 random(11);
  const std::string gif = pictures::Gif(pictures::Random(256, 300, random));
  ASSERT_GT(gif.size(), 64u * 1024 + 512);
  ASSERT_TRUE(Decode(gif)) << error_;
  const DecodedImage plain = image_;
  const auto flags = static_cast<unsigned char>(gif[10]);
  const std::size_t afterPalette = 13 + ((flags & 0x80) ? 3u << ((flags & 7) + 1) : 0u);
  TempDirectory directory;
  const std::string path = directory.File("shifted.gif");
  for (int length = 256; length < 512; ++length) {
    // A comment extension of `length` bytes in all: its sub-blocks (a size
    // byte and 1 to 255 bytes) fill all but the introducer and terminator.
    std::string comment = "\x21\xFE";
    for (int left = length - 3; left > 0;) {
      int block = std::min(left - 1, 255);
      if (left - (block + 1) == 1) --block;  // no sub-block holds 0 bytes
      comment += static_cast<char>(block);
      comment += std::string(static_cast<std::size_t>(block), 'c');
      left -= block + 1;
    }
    comment += '\0';
    ASSERT_EQ(comment.size(), static_cast<std::size_t>(length));
    std::string shifted = gif;
    shifted.insert(afterPalette, comment);
    WriteWholeFile(path, shifted);
    for (const bool fromFile : {false, true}) {
      error_.clear();
      ASSERT_TRUE(fromFile ? DecodeImageFile(path, &image_, &error_) : Decode(shifted)) << length << ": " << error_;
      ASSERT_EQ(image_.Height(), plain.Height());
      for (int y = 0; y < plain.Height(); ++y) {
        ASSERT_EQ(std::memcmp(image_.Row8(y), plain.Row8(y), static_cast<std::size_t>(plain.Width()) * 4), 0)
            << "comment of " << length << " bytes, row " << y << (fromFile ? " from a file" : "");
      }
    }
  }
}

TEST_F(DecoderTest, WebpLosslessRoundTripsAndLossyComesClose) {
  std::mt19937 random(11);
  const DecodedImage noise = pictures::Random(21, 13, random);
  std::string lossless;
  ASSERT_TRUE(ImageWriter::EncodeWebp(noise, &lossless));
  ASSERT_TRUE(Decode(lossless)) << error_;
  ExpectColoursOf(noise);

  std::string lossy;
  ASSERT_TRUE(ImageWriter::EncodeWebp(pictures::Solid(32, 32, {60, 120, 180, 255}), &lossy, 90));
  ASSERT_TRUE(Decode(lossy)) << error_;
  EXPECT_NEAR(Rgb(16, 16)[0], 60, 4);
  EXPECT_NEAR(Rgb(16, 16)[2], 180, 4);
}

TEST_F(DecoderTest, BmpPaletteDepthsReadTheirIndices) {
  BmpBuilder one;
  one.bitsPerPixel = 1;
  one.width = 10;
  one.height = 1;
  one.palette = {0x000000, 0xFF8000};
  one.rows = {std::string("\xA0\x40", 2)};  // 1010 0000 01..
  ASSERT_TRUE(Decode(one.Build())) << error_;
  EXPECT_EQ(Rgb(0, 0), (Rgba{255, 128, 0, 255}));
  EXPECT_EQ(Rgb(1, 0), (Rgba{0, 0, 0, 255}));
  EXPECT_EQ(Rgb(2, 0), (Rgba{255, 128, 0, 255}));
  EXPECT_EQ(Rgb(9, 0), (Rgba{255, 128, 0, 255}));

  BmpBuilder four;
  four.bitsPerPixel = 4;
  four.width = 3;
  four.height = 1;
  four.palette = {0x000000, 0x010203, 0x0A0B0C};
  four.rows = {std::string("\x21\x00", 2)};
  ASSERT_TRUE(Decode(four.Build())) << error_;
  EXPECT_EQ(Rgb(0, 0), (Rgba{10, 11, 12, 255}));
  EXPECT_EQ(Rgb(1, 0), (Rgba{1, 2, 3, 255}));
  EXPECT_EQ(Rgb(2, 0), (Rgba{0, 0, 0, 255}));

  BmpBuilder eight;
  eight.bitsPerPixel = 8;
  eight.width = 2;
  eight.height = 1;
  eight.palette = {0x112233, 0x445566};
  eight.rows = {std::string("\x01\xFF", 2)};  // index 255 lies beyond the table: black
  ASSERT_TRUE(Decode(eight.Build())) << error_;
  EXPECT_EQ(Rgb(0, 0), (Rgba{0x44, 0x55, 0x66, 255}));
  EXPECT_EQ(Rgb(1, 0), (Rgba{0, 0, 0, 255}));
}

TEST_F(DecoderTest, BmpRowOrderFollowsTheHeightsSign) {
  BmpBuilder bmp;
  bmp.width = 1;
  bmp.height = 2;
  bmp.rows = {std::string("\x00\x00\xFF", 3), std::string("\xFF\x00\x00", 3)};
  ASSERT_TRUE(Decode(bmp.Build()));
  EXPECT_EQ(Rgb(0, 0), (Rgba{0, 0, 255, 255}));  // last file row is the top
  bmp.height = -2;
  ASSERT_TRUE(Decode(bmp.Build()));
  EXPECT_EQ(Rgb(0, 0), (Rgba{255, 0, 0, 255}));
}

TEST_F(DecoderTest, BmpSixteenBitFieldsScaleByTheirOwnMaximum) {
  // Default 5-5-5, bit 15 unused: one pixel per case, every channel different.
  const struct {
    std::uint16_t pixel;
    Rgba samples;
  } cases[] = {
      {0x7C00, {31, 0, 0, 255}}, {0x03E0, {0, 31, 0, 255}}, {0x001F, {0, 0, 31, 255}},
      {0x5A6B, {22, 19, 11, 255}}, {0x8000, {0, 0, 0, 255}}, {0x7FFF, {31, 31, 31, 255}},
  };
  BmpBuilder plain;
  plain.bitsPerPixel = 16;
  plain.width = static_cast<int>(std::size(cases));
  plain.height = 1;
  plain.rows = {""};
  for (const auto& c : cases) PutLe16(plain.rows[0], c.pixel);
  ASSERT_TRUE(Decode(plain.Build())) << error_;
  EXPECT_EQ(image_.ChannelMax()[0], 31);
  for (int x = 0; x < plain.width; ++x) EXPECT_EQ(At(x, 0), cases[x].samples) << std::hex << cases[x].pixel;
  EXPECT_EQ(Rgb(0, 0), (Rgba{255, 0, 0, 255}));

  BmpBuilder fields = plain;  // 5-6-5 with masks after the header
  fields.width = 1;
  fields.compression = 3;
  fields.masks = {0xF800, 0x07E0, 0x001F};
  fields.rows = {std::string("\xE0\x07", 2)};  // green 63
  ASSERT_TRUE(Decode(fields.Build())) << error_;
  EXPECT_EQ(image_.ChannelMax()[1], 63);
  EXPECT_EQ(Rgb(0, 0), (Rgba{0, 255, 0, 255}));
}

TEST_F(DecoderTest, BmpThirtyTwoBitReadsPlainAndAlphaFields) {
  BmpBuilder plain;
  plain.bitsPerPixel = 32;
  plain.width = 1;
  plain.height = 1;
  plain.rows = {std::string("\x03\x02\x01\x00", 4)};  // the fourth byte is not alpha
  ASSERT_TRUE(Decode(plain.Build())) << error_;
  EXPECT_EQ(At(0, 0), (Rgba{1, 2, 3, 255}));

  BmpBuilder v5 = plain;
  v5.headerSize = 124;
  v5.compression = 3;
  v5.masks = {0x0000FF00, 0x00FF0000, 0xFF000000, 0x000000FF};
  v5.rows = {std::string("\x80\x03\x02\x01", 4)};
  ASSERT_TRUE(Decode(v5.Build())) << error_;
  EXPECT_EQ(At(0, 0), (Rgba{3, 2, 1, 128}));
}

TEST_F(DecoderTest, BmpCoreHeaderAndOurOwnWriterAreRead) {
  BmpBuilder core;
  core.headerSize = 12;
  core.bitsPerPixel = 8;
  core.width = 1;
  core.height = 1;
  core.palette = {0x102030};
  core.rows = {std::string("\x00", 1)};
  ASSERT_TRUE(Decode(core.Build())) << error_;
  EXPECT_EQ(Rgb(0, 0), (Rgba{0x10, 0x20, 0x30, 255}));

  std::mt19937 random(1);
  const DecodedImage noise = pictures::Random(7, 5, random);
  ASSERT_TRUE(Decode(pictures::Bmp(noise)));
  ExpectColoursOf(noise);
}

TEST_F(DecoderTest, DamagedBmpHeadersAreRefused) {
  BmpBuilder bmp;
  bmp.rows = {std::string(6, '\0'), std::string(6, '\0')};
  BmpBuilder rle = bmp;
  rle.compression = 1;
  BmpBuilder odd = bmp;
  odd.bitsPerPixel = 7;
  BmpBuilder gaps = bmp;
  gaps.bitsPerPixel = 16;
  gaps.compression = 3;
  gaps.masks = {0xF00F, 0x0F00, 0x00F0};
  BmpBuilder empty = bmp;
  empty.width = 0;
  for (const BmpBuilder& damaged : {rle, odd, gaps, empty}) {
    EXPECT_FALSE(Decode(damaged.Build()));
    EXPECT_FALSE(error_.empty());
  }
}

TEST_F(DecoderTest, TruncatedFilesFailInEveryFormat) {
  const DecodedImage picture = pictures::Gradient(40, 30);
  std::string webp;
  ImageWriter::EncodeWebp(picture, &webp, 80);
  for (const std::string& bytes : {pictures::Bmp(picture), pictures::Png(picture), pictures::Jpeg(picture),
                                   pictures::Gif(picture), webp}) {
    ASSERT_TRUE(Decode(bytes)) << error_;
    ExpectTruncationsFail(bytes);
  }
}

TEST_F(DecoderTest, HeadersClaimingHugePicturesAreRefusedBeforeAllocating) {
  BmpBuilder bmp;
  bmp.width = 100000;
  bmp.height = 100000;
  EXPECT_FALSE(Decode(bmp.Build()));
  EXPECT_NE(error_.find("too large"), std::string::npos) << error_;

  std::string ihdr;
  PutBe32(ihdr, 100000);
  PutBe32(ihdr, 100000);
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);
  EXPECT_FALSE(Decode("\x89PNG\r\n\x1a\n" + PngChunk("IHDR", ihdr) + PngChunk("IEND", "")));
  EXPECT_FALSE(error_.empty());

  std::string gif = pictures::Gif(pictures::Solid(2, 2, {1, 2, 3, 255}));
  gif[6] = gif[7] = gif[8] = gif[9] = '\xFF';  // screen 65535 x 65535
  const size_t descriptor = gif.find(',');
  ASSERT_NE(descriptor, std::string::npos);
  for (size_t i = descriptor + 5; i < descriptor + 9; ++i) gif[i] = '\xFF';  // frame 65535 x 65535
  EXPECT_FALSE(Decode(gif));
  EXPECT_NE(error_.find("too large"), std::string::npos) << error_;

  std::string jpeg = pictures::Jpeg(pictures::Solid(8, 8, {0, 0, 0, 255}));
  const size_t sof = jpeg.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  jpeg[sof + 5] = jpeg[sof + 7] = '\xEA';  // 60000 x 60000
  jpeg[sof + 6] = jpeg[sof + 8] = '\x60';
  EXPECT_FALSE(Decode(jpeg));
  EXPECT_NE(error_.find("too large"), std::string::npos) << error_;
}

TEST_F(DecoderTest, FormatIsToldByContentNotByName) {
  TempDirectory dir;
  const std::string path = dir.File("really-a-png.jpg");
  WriteWholeFile(path, pictures::Png(FewColours()));
  ASSERT_TRUE(DecodeImageFile(path, &image_, &error_)) << error_;
  ExpectColoursOf(FewColours());
}

TEST_F(DecoderTest, NonPicturesFailWithAReason) {
  TempDirectory dir;
  WriteWholeFile(dir.File("empty.png"), "");
  WriteWholeFile(dir.File("text.jpg"), "hello, this is not a picture");
  for (const std::string& path : {dir.File("empty.png"), dir.File("text.jpg"), dir.Path(), dir.File("missing.bmp")}) {
    EXPECT_FALSE(DecodeImageFile(path, &image_, &error_)) << path;
    EXPECT_FALSE(error_.empty());
  }
}

}  // namespace
