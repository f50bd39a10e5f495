#include "control/WhiteFrame.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "control/PictureBytes.h"

namespace {

bool IsWhite(std::uint32_t p) {
  const auto rgb = OnWhite(p);
  return std::all_of(rgb.begin(), rgb.end(), [](double v) { return v >= WhiteFrame::kWhite; });
}

// How many lines from one edge are white all along: `count` lines of
// `length` pixels, pixel i of line l at At(l, i).
template <class At>
int WhiteLines(int count, int length, const At& at) {
  for (int l = 0; l < count; ++l) {
    for (int i = 0; i < length; ++i) {
      if (!IsWhite(at(l, i))) return l;
    }
  }
  return count;
}

// Each pixel's share of the span [begin, end) along one side.
double Overlap(int pixel, double begin, double end) {
  return std::max(0.0, std::min<double>(pixel + 1, end) - std::max<double>(pixel, begin));
}

}  // namespace

double WhiteFrame::Margins::Narrowest() const { return std::min({top, bottom, left, right}); }

WhiteFrame::Margins WhiteFrame::Find(const std::uint32_t* argb, int width, int height, int sourceWidth,
                                     int sourceHeight) {
  const auto pixel = [&](int x, int y) { return argb[static_cast<std::size_t>(y) * width + x]; };
  // In a picture brought to another size the reduction spreads the frame's
  // edge over the next line too, which then mixes frame and picture: the
  // frame is taken to end after it. Lines of the picture's own pixels end
  // where they end.
  const auto scaled = [](int lines, int length, int sourceLength) {
    if (length == sourceLength || lines == 0 || lines == length) return static_cast<double>(lines);
    return (lines + 1.0) * sourceLength / length;
  };
  const auto rows = [&](const auto& at) { return scaled(WhiteLines(height, width, at), height, sourceHeight); };
  const auto columns = [&](const auto& at) { return scaled(WhiteLines(width, height, at), width, sourceWidth); };
  Margins m;
  m.top = rows([&](int l, int i) { return pixel(i, l); });
  m.bottom = rows([&](int l, int i) { return pixel(i, height - 1 - l); });
  m.left = columns([&](int l, int i) { return pixel(l, i); });
  m.right = columns([&](int l, int i) { return pixel(width - 1 - l, i); });
  return m;
}

namespace {

// The width taken off each side for each of WhiteFrame::kWidths, in the
// picture's own pixels; 0 where that is too narrow or leaves too little.
std::vector<double> WidthsOff(const std::uint32_t* argb, int width, int height, int sourceWidth, int sourceHeight) {
  std::vector<double> widths;
  if (width <= 0 || height <= 0 || sourceWidth <= 0 || sourceHeight <= 0) return widths;
  const double frame = WhiteFrame::Find(argb, width, height, sourceWidth, sourceHeight).Narrowest();
  const double shorter = std::min(sourceWidth, sourceHeight);
  for (double share : WhiteFrame::kWidths) {
    const double off = share * frame;
    const bool fits = off >= WhiteFrame::kNarrowest * shorter &&
                      sourceWidth - 2 * off >= WhiteFrame::kLeast * sourceWidth &&
                      sourceHeight - 2 * off >= WhiteFrame::kLeast * sourceHeight;
    widths.push_back(fits ? off : 0);
  }
  return widths;
}

}  // namespace

std::vector<std::uint32_t> WhiteFrame::Inside(const std::uint32_t* argb, int width, int height, int sourceWidth,
                                              int sourceHeight, int* insideWidth, int* insideHeight, double* aspect) {
  const std::vector<double> widths = WidthsOff(argb, width, height, sourceWidth, sourceHeight);
  if (widths.empty() || widths.front() <= 0) return {};
  const double off = widths.front();
  const int x0 = static_cast<int>(std::lround(off * width / sourceWidth));
  const int y0 = static_cast<int>(std::lround(off * height / sourceHeight));
  *insideWidth = width - 2 * x0;
  *insideHeight = height - 2 * y0;
  *aspect = (sourceWidth - 2 * off) / (sourceHeight - 2 * off);
  std::vector<std::uint32_t> inside;
  inside.reserve(static_cast<std::size_t>(*insideWidth) * *insideHeight);
  for (int y = y0; y < height - y0; ++y) {
    const std::uint32_t* row = argb + static_cast<std::size_t>(y) * width;
    inside.insert(inside.end(), row + x0, row + width - x0);
  }
  return inside;
}

std::vector<ImageCache::Colours> WhiteFrame::Unframed(const std::uint32_t* argb, int width, int height,
                                                      int sourceWidth, int sourceHeight) {
  std::vector<ImageCache::Colours> unframed;
  for (double off : WidthsOff(argb, width, height, sourceWidth, sourceHeight)) {
    if (off <= 0) continue;
    // The inner picture in the given pixels, split into 3 x 3 cells.
    const double x0 = off * width / sourceWidth, y0 = off * height / sourceHeight;
    const double cellWidth = (width - 2 * x0) / 3, cellHeight = (height - 2 * y0) / 3;
    ImageCache::Colours colours{};
    for (int cy = 0; cy < 3; ++cy) {
      const double top = y0 + cy * cellHeight, bottom = top + cellHeight;
      for (int cx = 0; cx < 3; ++cx) {
        const double left = x0 + cx * cellWidth, right = left + cellWidth;
        std::array<double, 3> sum{};
        double weight = 0;
        for (int y = static_cast<int>(top); y < std::min<double>(height, std::ceil(bottom)); ++y) {
          const double wy = Overlap(y, top, bottom);
          for (int x = static_cast<int>(left); x < std::min<double>(width, std::ceil(right)); ++x) {
            const double w = wy * Overlap(x, left, right);
            const auto rgb = OnWhite(argb[static_cast<std::size_t>(y) * width + x]);
            for (int c = 0; c < 3; ++c) sum[c] += w * rgb[c];
            weight += w;
          }
        }
        for (int c = 0; c < 3; ++c) {
          colours[(cy * 3 + cx) * 3 + c] = static_cast<std::int32_t>(std::lround(weight > 0 ? sum[c] / weight : 255));
        }
      }
    }
    unframed.push_back(colours);
  }
  return unframed;
}

std::vector<ImageCache::Colours> WhiteFrame::FromFile(const std::string& path) {
  int width = 0, height = 0, sourceWidth = 0, sourceHeight = 0;
  std::string reason;
  const std::vector<std::uint32_t> pixels =
      ReducePictureFile(path, kDecodeSide, kDecodeSide, &width, &height, &reason, &sourceWidth, &sourceHeight);
  if (pixels.empty()) return {};
  return Unframed(pixels.data(), width, height, sourceWidth, sourceHeight);
}

WhiteFrame::Reader::Reader()
    : sink_(AtMost(kDecodeSide, kDecodeSide, &sourceWidth_, &sourceHeight_), ResampleKernel::kSimd,
            ReductionSink::Thread::kNever) {}

std::vector<ImageCache::Colours> WhiteFrame::Reader::Unframed() {
  int width = 0, height = 0;
  const std::vector<std::uint32_t> pixels = sink_.Finish(&width, &height);
  if (pixels.empty()) return {};
  return WhiteFrame::Unframed(pixels.data(), width, height, sourceWidth_, sourceHeight_);
}
