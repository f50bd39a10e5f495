// The colour signature of large pictures against decoding alone, in one run:
// a 4000 x 3000 JPEG and a 1920 x 1080 PNG, made in memory at start. The
// reduction should add only a small fraction (target: at most 15%) to the
// decode time; the ratios (of CPU time, as the machine may be shared) are
// printed after the table. The plain, SSE2 and widest SIMD reductions of
// already decoded pixels are timed as well.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <span>
#include <string>

#include "imaging/DecodedImage.h"
#include "imaging/ImageDecoder.h"
#include "imaging/ImageWriter.h"
#include "imaging/ReductionSink.h"
#include "imaging/Resampler.h"
#include "imaging/SignatureReader.h"

namespace {

// A photograph-like picture: smooth gradients with a little noise, so the
// encoders do real work.
DecodedImage PhotoLike(int width, int height) {
  DecodedImage image;
  image.Allocate(width, height, false);
  std::mt19937 random(42);
  std::uniform_int_distribution<int> noise(-6, 6);
  auto clamp = [](int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image.Row8(y);
    for (int x = 0; x < width; ++x) {
      row[x * 4] = clamp(x * 255 / width + noise(random));
      row[x * 4 + 1] = clamp(y * 255 / height + noise(random));
      row[x * 4 + 2] = clamp(((x + y) / 7) % 256 + noise(random));
      row[x * 4 + 3] = 255;
    }
  }
  return image;
}

const std::string& JpegFile() {
  static const std::string bytes = [] {
    std::string out;
    ImageWriter::EncodeJpeg(PhotoLike(4000, 3000), &out, ImageWriter::JpegOptions{90, false});
    return out;
  }();
  return bytes;
}

const std::string& PngFile() {
  static const std::string bytes = [] {
    std::string out;
    ImageWriter::EncodePng(PhotoLike(1920, 1080), &out);
    return out;
  }();
  return bytes;
}

std::span<const std::uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

void Decode(benchmark::State& state, const std::string& file) {
  for (auto _ : state) {
    DecodedImage image;
    if (!DecodeImage(Bytes(file), &image, nullptr)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(image.Row8(0));
  }
}

void Signature(benchmark::State& state, const std::string& file) {
  for (auto _ : state) {
    DecodedImage image;
    if (!DecodeImage(Bytes(file), &image, nullptr)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(ReduceToSignature(image));
  }
}

// The program's path: rows reduced as they are decoded, on a second thread
// or on the decoding one. Wall time, since two threads work.
// With `copy`, the rows also go to a copy of at most 256 x 256 pixels, as a
// search's query picture does for its white frame.
void Streamed(benchmark::State& state, const std::string& file, bool threaded, bool copy = false) {
  for (auto _ : state) {
    MemoryImageSource source(Bytes(file));
    ImageCache::Colours colours{};
    ReductionSink small([](const RowLayout&) { return std::pair{256, 256}; }, ResampleKernel::kSimd,
                        ReductionSink::Thread::kNever);
    if (!SignatureOfSource(source, &colours, nullptr, ResampleKernel::kSimd,
                           threaded ? ReductionSink::Thread::kAlways : ReductionSink::Thread::kNever, {},
                           copy ? &small : nullptr)) {
      state.SkipWithError("decode failed");
    }
    benchmark::DoNotOptimize(colours);
    if (copy) benchmark::DoNotOptimize(small.Finish());
  }
}

void Reduce(benchmark::State& state, ResampleKernel kernel) {
  static const DecodedImage image = PhotoLike(4000, 3000);
  for (auto _ : state) benchmark::DoNotOptimize(ReduceToSignature(image, kernel));
  state.SetItemsProcessed(state.iterations() * 4000 * 3000);
}

void BM_JpegDecode(benchmark::State& state) { Decode(state, JpegFile()); }
void BM_JpegSignature(benchmark::State& state) { Signature(state, JpegFile()); }
void BM_JpegStreamedOneThread(benchmark::State& state) { Streamed(state, JpegFile(), false); }
void BM_JpegStreamedTwoThreads(benchmark::State& state) { Streamed(state, JpegFile(), true); }
void BM_JpegStreamedWithCopy(benchmark::State& state) { Streamed(state, JpegFile(), false, true); }
void BM_PngStreamedOneThread(benchmark::State& state) { Streamed(state, PngFile(), false); }
void BM_PngStreamedWithCopy(benchmark::State& state) { Streamed(state, PngFile(), false, true); }
void BM_PngStreamedTwoThreads(benchmark::State& state) { Streamed(state, PngFile(), true); }
void BM_PngDecode(benchmark::State& state) { Decode(state, PngFile()); }
void BM_PngSignature(benchmark::State& state) { Signature(state, PngFile()); }
void BM_ReduceScalar(benchmark::State& state) { Reduce(state, ResampleKernel::kScalar); }
void BM_ReduceSimd(benchmark::State& state) { Reduce(state, ResampleKernel::kSimd); }
void BM_ReduceSse2(benchmark::State& state) { Reduce(state, ResampleKernel::kSse2); }

BENCHMARK(BM_JpegDecode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_JpegSignature)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_JpegStreamedOneThread)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_JpegStreamedTwoThreads)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_JpegStreamedWithCopy)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_PngStreamedOneThread)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_PngStreamedWithCopy)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_PngStreamedTwoThreads)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_PngDecode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PngSignature)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ReduceScalar)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReduceSimd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReduceSse2)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's time per iteration for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.iterations > 0) seconds_[run.benchmark_name()] = run.cpu_accumulated_time / static_cast<double>(run.iterations);
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    Ratio("JPEG 4000x3000: signature / decode", "BM_JpegSignature/min_time:2.000", "BM_JpegDecode/min_time:2.000");
    Ratio("PNG 1920x1080:  signature / decode", "BM_PngSignature/min_time:2.000", "BM_PngDecode/min_time:2.000");
    Ratio("JPEG 4000x3000: with a 256 x 256 copy / signature alone, one thread",
          "BM_JpegStreamedWithCopy/min_time:2.000/real_time", "BM_JpegStreamedOneThread/min_time:2.000/real_time");
    Ratio("PNG 1920x1080:  with a 256 x 256 copy / signature alone, one thread",
          "BM_PngStreamedWithCopy/min_time:2.000/real_time", "BM_PngStreamedOneThread/min_time:2.000/real_time");
    Ratio("reduction 4000x3000: scalar / widest SIMD", "BM_ReduceScalar", "BM_ReduceSimd");
    Ratio("reduction 4000x3000: scalar / SSE2", "BM_ReduceScalar", "BM_ReduceSse2");
  }

 private:
  void Ratio(const char* label, const std::string& numerator, const std::string& denominator) const {
    const auto n = seconds_.find(numerator);
    const auto d = seconds_.find(denominator);
    if (n == seconds_.end() || d == seconds_.end() || d->second <= 0) return;
    std::printf("%s = %.3f\n", label, n->second / d->second);
  }
  std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  JpegFile();
  PngFile();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
