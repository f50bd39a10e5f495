// Small files that claim, or would expand to, enormous pictures: every decoder
// refuses them before allocating for the picture.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <span>
#include <string>

#include "imaging/DecodedImage.h"
#include "imaging/ImageCacheDirectX.h"
#include "imaging/ImageDecoder.h"
#include "imaging/ImageWriter.h"
#include "imaging/ReductionSink.h"
#include "imaging/Resampler.h"
#include "imaging/D3DDevice.h"
#include "support/ChildProcess.h"
#include "support/PeakMemory.h"
#include "support/ProgramDirectoryTest.h"
#include "support/TempDirectory.h"

namespace {

DecodedImage SmallPicture() {
  DecodedImage image;
  image.Allocate(8, 8, false);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      std::uint8_t* pixel = image.Row8(y) + x * 4;
      pixel[0] = static_cast<std::uint8_t>(x * 30);
      pixel[1] = static_cast<std::uint8_t>(y * 30);
      pixel[2] = 90;
      pixel[3] = 255;
    }
  }
  return image;
}

void PutBig32(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xff));
}
void PutLittle(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

void AppendPngChunk(std::string& png, const char* type, const std::string& data) {
  PutBig32(png, static_cast<std::uint32_t>(data.size()));
  const std::string typed = std::string(type) + data;
  png += typed;
  PutBig32(png, static_cast<std::uint32_t>(
                    crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()))));
}

// A well-formed 1-bit grey PNG, black from the top and white from row
// `whiteFrom` on: a few dozen KiB that inflate to width * height / 8 bytes.
std::string BandPng(std::uint32_t width, std::uint32_t height, std::uint32_t whiteFrom) {
  std::string png = "\x89PNG\r\n\x1a\n";
  std::string header;
  PutBig32(header, width);
  PutBig32(header, height);
  header += std::string("\x01\x00\x00\x00\x00", 5);  // depth 1, grey, deflate, filter 0, no interlace
  AppendPngChunk(png, "IHDR", header);
  z_stream stream{};
  deflateInit(&stream, 9);
  const std::string black((width + 7) / 8 + 1, '\0');
  std::string white((width + 7) / 8 + 1, '\xff');
  white[0] = '\0';  // filter type
  std::string compressed;
  char buffer[65536];
  for (std::uint32_t y = 0; y <= height; ++y) {
    const std::string& row = y < whiteFrom ? black : white;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(row.data()));
    stream.avail_in = y < height ? static_cast<uInt>(row.size()) : 0;
    const int flush = y < height ? Z_NO_FLUSH : Z_FINISH;
    do {
      stream.next_out = reinterpret_cast<Bytef*>(buffer);
      stream.avail_out = sizeof buffer;
      deflate(&stream, flush);
      compressed.append(buffer, sizeof buffer - stream.avail_out);
    } while (stream.avail_out == 0);
  }
  deflateEnd(&stream);
  AppendPngChunk(png, "IDAT", compressed);
  AppendPngChunk(png, "IEND", "");
  return png;
}

std::string ZeroPng(std::uint32_t width, std::uint32_t height) { return BandPng(width, height, height); }

// A small JPEG whose frame header is changed to claim `width` x `height`.
// The header of a 24-bit BMP claiming `width` x `height` pixels, with no pixel data.
std::string BmpHeader(std::uint32_t width, std::uint32_t height) {
  std::string bmp = "BM";
  PutLittle(bmp, 54, 4);
  PutLittle(bmp, 0, 4);
  PutLittle(bmp, 54, 4);
  PutLittle(bmp, 40, 4);
  PutLittle(bmp, width, 4);
  PutLittle(bmp, height, 4);
  PutLittle(bmp, 1, 2);
  PutLittle(bmp, 24, 2);
  for (int i = 0; i < 6; ++i) PutLittle(bmp, 0, 4);
  return bmp;
}

std::string JpegClaiming(std::uint16_t width, std::uint16_t height) {
  std::string jpeg;
  EXPECT_TRUE(ImageWriter::EncodeJpeg(SmallPicture(), &jpeg));
  const auto frame = jpeg.find("\xff\xc0");
  EXPECT_NE(std::string::npos, frame);
  // Marker, length (2), precision (1), then height and width, big-endian.
  jpeg[frame + 5] = static_cast<char>(height >> 8);
  jpeg[frame + 6] = static_cast<char>(height & 0xff);
  jpeg[frame + 7] = static_cast<char>(width >> 8);
  jpeg[frame + 8] = static_cast<char>(width & 0xff);
  return jpeg;
}

// A small GIF whose screen and image descriptor claim 65535 x 65535.
std::string HugeGif() {
  std::string gif;
  EXPECT_TRUE(ImageWriter::EncodeGif(SmallPicture(), &gif));
  for (const std::size_t at : {std::size_t{6}, std::size_t{8}}) gif.replace(at, 2, "\xff\xff");
  const auto descriptor = gif.find('\x2c');
  EXPECT_NE(std::string::npos, descriptor);
  gif.replace(descriptor + 5, 4, "\xff\xff\xff\xff");
  return gif;
}

// A BMP header claiming 100000 x 100000 pixels of 24 bits, with one row of data.
std::string HugeBmp() {
  std::string bmp = "BM";
  PutLittle(bmp, 54 + 300000, 4);
  PutLittle(bmp, 0, 4);
  PutLittle(bmp, 54, 4);
  PutLittle(bmp, 40, 4);
  PutLittle(bmp, 100000, 4);
  PutLittle(bmp, 100000, 4);
  PutLittle(bmp, 1, 2);
  PutLittle(bmp, 24, 2);
  for (int i = 0; i < 6; ++i) PutLittle(bmp, 0, 4);
  bmp.append(300000, '\x40');
  return bmp;
}

// A lossless WebP whose header claims 16384 x 16384.
std::string HugeWebp() {
  std::string webp;
  EXPECT_TRUE(ImageWriter::EncodeWebp(SmallPicture(), &webp));
  const auto chunk = webp.find("VP8L");
  EXPECT_NE(std::string::npos, chunk);
  // After the chunk's size and the signature byte: 14 bits width - 1, 14 bits
  // height - 1, then alpha and version bits, least significant bit first.
  const std::size_t bits = chunk + 9;
  std::uint32_t packed = 0;
  for (int i = 0; i < 4; ++i) packed |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(webp[bits + i])) << (8 * i);
  packed = (packed & 0xf0000000u) | 0x3fffu | (0x3fffu << 14);
  for (int i = 0; i < 4; ++i) webp[bits + i] = static_cast<char>((packed >> (8 * i)) & 0xff);
  return webp;
}

class DecompressionBombTest : public ProgramDirectoryTest {
 protected:
  // Decodes `file` and expects a refusal that took little memory.
  void ExpectRefused(const std::string& file) {
    const std::uint64_t before = PeakResidentBytes();
    DecodedImage image;
    std::string error;
    EXPECT_FALSE(DecodeImage(std::span(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()), &image,
                             &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(image.Empty());
    EXPECT_LT(PeakResidentBytes() - before, 64 * kMiB * kPeakSlack);
  }
};

TEST_F(DecompressionBombTest, PngThatInflatesToFourHundredMegapixelsIsRefused) {
  const std::string png = ZeroPng(20000, 20000);
  EXPECT_LT(png.size(), 200u * 1024);
  ExpectRefused(png);
}

TEST_F(DecompressionBombTest, PngHeaderClaimingTenGigapixelsIsRefused) {
  std::string png = ZeroPng(16, 16);
  // Width and height sit right after the signature and the chunk's length and type.
  png.replace(16, 8, "\x00\x01\x86\xa0\x00\x01\x86\xa0");
  const std::string typed = png.substr(12, 17);
  std::string crc;
  PutBig32(crc, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed.data()), 17)));
  png.replace(29, 4, crc);
  ExpectRefused(png);
}

TEST_F(DecompressionBombTest, JpegClaimingFourGigapixelsIsRefused) { ExpectRefused(JpegClaiming(65000, 65000)); }

TEST_F(DecompressionBombTest, GifClaimingFourGigapixelsIsRefused) { ExpectRefused(HugeGif()); }

TEST_F(DecompressionBombTest, BmpClaimingTenGigapixelsIsRefused) { ExpectRefused(HugeBmp()); }

TEST_F(DecompressionBombTest, WebpClaimingQuarterGigapixelIsRefused) { ExpectRefused(HugeWebp()); }

TEST_F(DecompressionBombTest, SignatureOfABombFailsAndIsLogged) {
  ASSERT_TRUE(D3DDevice::Initialize());
  const std::string path = PathOf("bomb.png");
  ASSERT_TRUE(WriteBytesToFile(path, ZeroPng(20000, 20000)));
  ImageCacheDirectX signature;
  EXPECT_FALSE(signature.LoadImage(path));
  EXPECT_TRUE(signature.cacheText.empty());
  EXPECT_FALSE(LogMessages().empty());
  D3DDevice::Shutdown();
}

// The picture limit lies at 250 million pixels: a header at the limit is read
// on (and fails only for its missing data), one pixel more is refused as too large.
TEST_F(DecompressionBombTest, LimitIsTwoHundredFiftyMegapixels) {
  const struct {
    std::uint32_t width, height;
    ImageErrorKind kind;
  } cases[] = {
      {20000, 12500, ImageErrorKind::kDamaged},     {20000, 12501, ImageErrorKind::kTooLarge},
      {250000000, 1, ImageErrorKind::kDamaged},     {250000001, 1, ImageErrorKind::kTooLarge},
      {1, 250000000, ImageErrorKind::kDamaged},     {15811, 15811, ImageErrorKind::kDamaged},
      {15811, 15812, ImageErrorKind::kTooLarge},
  };
  for (const auto& c : cases) {
    const std::string bmp = BmpHeader(c.width, c.height);
    MemoryImageSource source(std::span(reinterpret_cast<const std::uint8_t*>(bmp.data()), bmp.size()));
    ReductionSink sink([](const RowLayout&) { return std::pair{3, 3}; });
    ImageError error;
    EXPECT_FALSE(DecodeImageRows(source, sink, &error));
    EXPECT_EQ(error.kind, c.kind) << c.width << " x " << c.height << ": " << error.detail;
  }
}

// The command line's signature of a 200-megapixel PNG, as a process of its
// own: its peak resident size stays within 24 MB, and the signature is the
// one the plain reduction gives for the same rows.
TEST_F(DecompressionBombTest, TwoHundredMegapixelPngIsReducedWithinTheMemoryBound) {
  constexpr std::uint32_t kWidth = 16000, kHeight = 12500, kWhiteFrom = 7000;
  const std::string path = PathOf("large.png");
  ASSERT_TRUE(WriteBytesToFile(path, BandPng(kWidth, kHeight, kWhiteFrom)));

  RowResampler reference(RowLayout{static_cast<int>(kWidth), static_cast<int>(kHeight), false, {255, 255, 255, 255}}, 3, 3);
  const std::vector<std::uint8_t> black(kWidth * 4, 0), white(kWidth * 4, 255);
  std::vector<std::uint8_t> opaqueBlack = black;
  for (std::uint32_t x = 0; x < kWidth; ++x) opaqueBlack[x * 4 + 3] = 255;
  for (std::uint32_t y = 0; y < kHeight; ++y) reference.AddRow(y < kWhiteFrom ? opaqueBlack.data() : white.data());
  const auto signature = SignatureOfPixels(reference.Finish());
  std::string expected;
  for (const std::uint8_t value : signature) expected += std::to_string(value) + ",";

  const std::string out = PathOf("stdout");
  ChildProcess child({ExecutableFile(std::string(TINTWISE_BIN_DIR) + "/tintwise-cli"), "--dir", Dir(), "signature", path},
                     ChildStreams{out, "", "", PathOf("peak")});
  EXPECT_EQ(child.Wait(), 0);
  const std::string printed = ReadWholeFile(out);  // the values, a tab and the path as printed
  EXPECT_EQ(printed.substr(0, printed.find('\t')), expected);
  EXPECT_EQ(printed.substr(printed.size() - 10), "large.png\n");
  const std::uint64_t peak = child.PeakResidentBytes();
  EXPECT_GT(peak, 0u);
  EXPECT_LE(peak, 24 * kMiB * kPeakSlack + ProcessStartAllowanceBytes());
}

}  // namespace
