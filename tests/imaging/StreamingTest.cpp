// The row-by-row path the program uses (decoder rows handed to the
// reduction, on a second thread for large pictures) against the plain one
// (the whole picture decoded, then reduced): bit-identical for every format
// and row layout, from memory and from a file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <span>
#include <string>
#include <thread>

#include "imaging/DecodedImage.h"
#include "imaging/FileImageSource.h"
#include "imaging/ImageDecoder.h"
#include "imaging/ReductionSink.h"
#include "imaging/Resampler.h"
#include "imaging/SignatureReader.h"
#include "Pictures.h"
#include "support/ProcessorHold.h"
#include "support/TempDirectory.h"

namespace {

std::span<const std::uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// Large enough (over a megapixel) for the reduction thread, with detail in
// every region so that a lost, repeated or reordered row block moves a value.
DecodedImage Detailed(int width, int height) {
  std::mt19937 random(7);
  return pictures::Make(width, height, [&](int x, int y) {
    const int noise = static_cast<int>(random() % 23);
    return pictures::Rgba{static_cast<std::uint8_t>((x * 7 + y / 3 + noise) & 0xff),
                          static_cast<std::uint8_t>((y * 5 + x / 9) & 0xff),
                          static_cast<std::uint8_t>((x ^ y) & 0xff), static_cast<std::uint8_t>(200 + noise)};
  });
}

TEST(StreamingTest, RowByRowSignatureEqualsThePlainReductionForEveryLayout) {
  const DecodedImage big = Detailed(1001, 1000);
  const DecodedImage bottomStrip = Detailed(3001, 7);
  std::string webpLossy, webpLossless;
  ASSERT_TRUE(ImageWriter::EncodeWebp(big, &webpLossy, 80.0f));
  ASSERT_TRUE(ImageWriter::EncodeWebp(Detailed(300, 200), &webpLossless));  // slow to write: small
  ImageWriter::PngOptions interlaced;
  interlaced.interlaced = true;
  ImageWriter::PngOptions sixteen;
  sixteen.bitDepth = 16;
  sixteen.colour = ImageWriter::PngColour::kRgba;
  ImageWriter::GifOptions gifInterlaced;
  gifInterlaced.interlaced = true;
  std::string bmpAlpha;
  ASSERT_TRUE(ImageWriter::EncodeBmp(big, &bmpAlpha, true));
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"jpeg", pictures::Jpeg(big, 92)},
      {"png", pictures::Png(big)},
      {"png interlaced", pictures::Png(big, interlaced)},
      {"png 16-bit with alpha", pictures::Png(big, sixteen)},
      {"gif", pictures::Gif(big)},
      {"gif interlaced", pictures::Gif(big, gifInterlaced)},
      {"bmp bottom-up", pictures::Bmp(big)},
      {"bmp 32-bit", bmpAlpha},
      {"bmp one row block", pictures::Bmp(bottomStrip)},
      {"webp lossy", webpLossy},
      {"webp lossless", webpLossless},
      {"small png", pictures::Png(Detailed(40, 30))},
  };
  TempDirectory directory;
  for (const auto& c : cases) {
    DecodedImage whole;
    std::string reason;
    ASSERT_TRUE(DecodeImage(Bytes(c.bytes), &whole, &reason)) << c.name << ": " << reason;
    const auto plain = ReduceToSignature(whole, ResampleKernel::kScalar);
    ImageCache::Colours expected{};
    std::copy(plain.begin(), plain.end(), expected.begin());

    for (const auto thread : {ReductionSink::Thread::kNever, ReductionSink::Thread::kAlways}) {
      MemoryImageSource source(Bytes(c.bytes));
      ImageCache::Colours colours{};
      ImageError error;
      ASSERT_TRUE(SignatureOfSource(source, &colours, &error, ResampleKernel::kSimd, thread)) << c.name;
      EXPECT_EQ(colours, expected) << c.name << (thread == ReductionSink::Thread::kAlways ? " threaded" : "");
    }
    const std::string path = directory.File("picture");
    WriteWholeFile(path, c.bytes);
    ImageCache::Colours fromFile{};
    ASSERT_TRUE(SignatureOfFile(path, &fromFile, nullptr)) << c.name;
    EXPECT_EQ(fromFile, expected) << c.name << " from a file";
  }
}

// Runs `work` on a thread held to the processor it starts on, as under
// taskset or a one-processor container: a reduction thread it starts shares
// that processor, so the decoder reduces blocks itself whenever the ring is
// full and the two sides must hand over without polling each other out.
template <typename Work>
void OnOneProcessor(Work work) {
  std::thread([&] {
    ASSERT_TRUE(HoldToCurrentProcessor());
    work();
  }).join();
}

// A larger destination than 3 x 3 (the preview's texture) takes each source
// row once, whichever side reduces each block.
TEST(StreamingTest, ThreadedResizeEqualsThePlainOne) {
  const std::string png = pictures::Png(Detailed(1500, 800));
  DecodedImage big;
  ASSERT_TRUE(DecodeImage(Bytes(png), &big, nullptr));
  for (const bool oneProcessor : {false, true}) {
    for (const auto& size : {std::pair{37, 23}, std::pair{1024, 512}, std::pair{1500, 800}}) {
      const auto resize = [&] {
        MemoryImageSource source(Bytes(png));
        ReductionSink sink([&](const RowLayout&) { return size; }, ResampleKernel::kSimd,
                           ReductionSink::Thread::kAlways);
        ASSERT_TRUE(DecodeImageRows(source, sink, nullptr));
        int width = 0, height = 0;
        EXPECT_EQ(sink.Finish(&width, &height), ResampleImage(big, size.first, size.second))
            << size.first << (oneProcessor ? " on one processor" : "");
        EXPECT_EQ(width, size.first);
        EXPECT_EQ(height, size.second);
      };
      if (oneProcessor) {
        OnOneProcessor(resize);
      } else {
        resize();
      }
    }
  }
}

// A machine busy when the picture begins and idle later: the rows reduced so
// far on the decoder's thread, the rest on the reduction thread, started
// between two rows once a later look finds a processor idle.
TEST(StreamingTest, ThreadStartedPartWayEqualsThePlainResize) {
  const std::string jpeg = pictures::Jpeg(Detailed(1001, 1000), 92);
  DecodedImage big;
  ASSERT_TRUE(DecodeImage(Bytes(jpeg), &big, nullptr));
  for (const auto& size : {std::pair{3, 3}, std::pair{640, 480}}) {
    int looks = 0;
    MemoryImageSource source(Bytes(jpeg));
    ReductionSink sink([&](const RowLayout&) { return size; }, ResampleKernel::kSimd,
                       ReductionSink::Thread::kWhenIdle, [&looks] { return ++looks >= 3 ? 1 : 0; });
    ASSERT_TRUE(DecodeImageRows(source, sink, nullptr));
    EXPECT_EQ(looks, 3) << "the thread starts at row " << 2 * ReductionSink::kIdleCheckRows;
    EXPECT_EQ(sink.Finish(), ResampleImage(big, size.first, size.second)) << size.first;
  }
}

// Heights whose last block of rows holds exactly one row (and a width whose
// every block is one row): that row must reach the reduction like any other.
TEST(StreamingTest, ALastBlockOfOneRowIsReducedToo) {
  const struct {
    int width, height;
    bool sixteenBit;
  } cases[] = {{1024, 977, false}, {1024, 977, true}, {20000, 51, false}};
  for (const auto& c : cases) {
    const std::size_t rowBytes = static_cast<std::size_t>(c.width) * (c.sixteenBit ? 8 : 4);
    const int rowsPerBlock = static_cast<int>(std::max<std::size_t>(1, ReductionSink::kBlockBytes / rowBytes));
    ASSERT_EQ(c.height % rowsPerBlock, 1 % rowsPerBlock) << c.width;
    ASSERT_GE(static_cast<std::uint64_t>(c.width) * c.height, ReductionSink::kThreadedPixels);
    DecodedImage image;
    image.Allocate(c.width, c.height, c.sixteenBit);
    for (int y = 0; y < c.height; ++y) {
      for (int i = 0; i < c.width * 4; ++i) {
        // The last row stands out, so that losing it moves the result.
        const int value = y == c.height - 1 ? 255 : (i * 7 + y * 3) % 200;
        if (c.sixteenBit) {
          image.Row16(y)[i] = static_cast<std::uint16_t>(value * 257);
        } else {
          image.Row8(y)[i] = static_cast<std::uint8_t>(value);
        }
      }
    }
    RowLayout layout{c.width, c.height, c.sixteenBit, image.ChannelMax()};
    for (const auto& size : {std::pair{3, 3}, std::pair{64, 40}}) {
      ReductionSink sink([&](const RowLayout&) { return size; }, ResampleKernel::kSimd, ReductionSink::Thread::kAlways);
      ASSERT_TRUE(sink.Begin(layout));
      for (int y = 0; y < c.height; ++y) {
        const void* row = c.sixteenBit ? static_cast<const void*>(image.Row16(y)) : image.Row8(y);
        std::memcpy(sink.NextRow(), row, layout.RowBytes());
        sink.CommitRow();
      }
      EXPECT_EQ(sink.Finish(), ResampleImage(image, size.first, size.second))
          << c.width << "x" << c.height << (c.sixteenBit ? " 16-bit" : "") << " to " << size.first;
    }
  }
}

// A decoder that stops part way leaves no result, whichever thread reduces.
TEST(StreamingTest, TruncatedPictureGivesNoSignature) {
  const std::string jpeg = pictures::Jpeg(Detailed(1201, 901), 92);
  for (const size_t length : {jpeg.size() / 2, jpeg.size() - 3}) {
    for (const auto thread : {ReductionSink::Thread::kNever, ReductionSink::Thread::kAlways}) {
      const std::string cut = jpeg.substr(0, length);
      MemoryImageSource source(Bytes(cut));
      ImageCache::Colours colours{};
      ImageError error;
      EXPECT_FALSE(SignatureOfSource(source, &colours, &error, ResampleKernel::kSimd, thread)) << length;
      EXPECT_EQ(error.kind, ImageErrorKind::kDamaged);
      EXPECT_EQ(colours, ImageCache::Colours{});
    }
  }
}

}  // namespace
