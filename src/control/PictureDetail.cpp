#include "control/PictureDetail.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "control/PictureBytes.h"
#include "control/WhiteFrame.h"

namespace {

constexpr int kSide = PictureDetail::kSide;

// The share of each source pixel in each of kSide output pixels along one
// side of `size` source pixels: the overlap of the pixel with the output
// pixel's span (box filter, which also enlarges a small picture).
struct Span {
  int first = 0, last = 0;  // source pixels first..last (inclusive)
  std::vector<double> weights;
};

std::vector<Span> Spans(int size) {
  std::vector<Span> spans(kSide);
  const double step = static_cast<double>(size) / kSide;
  for (int o = 0; o < kSide; ++o) {
    const double begin = o * step, end = (o + 1) * step;
    Span& span = spans[o];
    span.first = std::min(size - 1, static_cast<int>(std::floor(begin)));
    span.last = std::min(size - 1, std::max(span.first, static_cast<int>(std::ceil(end)) - 1));
    for (int s = span.first; s <= span.last; ++s) {
      span.weights.push_back((std::min<double>(end, s + 1) - std::max<double>(begin, s)) / step);
    }
  }
  return spans;
}

// The source pixel the transformed picture shows at (x, y), from where the
// transform puts the grid's middle row and column (GridTransformCells).
struct Turn {
  int xx, xy, yx, yy;  // source offset from the centre = (xx * dx + yx * dy, xy * dx + yy * dy)
};

Turn TurnOf(GridTransform transform) {
  const std::array<int, 9>& cells = GridTransformCells(transform);
  // Cell 5 is one step right of the centre, cell 7 one step down; where
  // they come from gives the map's columns.
  const int right = cells[5], down = cells[7];
  return {right % 3 - 1, right / 3 - 1, down % 3 - 1, down / 3 - 1};
}

}  // namespace

namespace {

// A picture brought down to at most kDecodeSide a side by `reduce` (a
// ReducePicture function's call) made into its detail.
// `inside`, when given, gets the picture inside a white frame
// (WhiteFrame::Inside), or nothing when it has none.
template <class Reduce>
bool FromReduced(const Reduce& reduce, PictureDetail* out, std::string* reason,
                 std::optional<PictureDetail>* inside = nullptr) {
  int width = 0, height = 0, sourceWidth = 0, sourceHeight = 0;
  const std::vector<std::uint32_t> pixels = reduce(&width, &height, reason, &sourceWidth, &sourceHeight);
  if (pixels.empty() || width <= 0 || height <= 0) {
    if (reason->empty()) *reason = "not a picture";
    return false;
  }
  *out = PictureDetail::FromPixels(pixels.data(), width, height,
                                   static_cast<double>(sourceWidth) / std::max(sourceHeight, 1));
  if (inside != nullptr) {
    int insideWidth = 0, insideHeight = 0;
    double aspect = 0;
    const std::vector<std::uint32_t> inner = WhiteFrame::Inside(pixels.data(), width, height, sourceWidth,
                                                                sourceHeight, &insideWidth, &insideHeight, &aspect);
    if (!inner.empty()) *inside = PictureDetail::FromPixels(inner.data(), insideWidth, insideHeight, aspect);
  }
  return true;
}

}  // namespace

bool PictureDetail::FromBytes(std::string_view bytes, PictureDetail* out, std::string* reason) {
  return FromReduced(
      [bytes](int* w, int* h, std::string* r, int* sw, int* sh) {
        return ReducePictureBytes(bytes, kDecodeSide, kDecodeSide, w, h, r, sw, sh);
      },
      out, reason);
}

bool PictureDetail::FromFile(const std::string& path, PictureDetail* out, std::string* reason) {
  std::optional<PictureDetail> inside;
  if (!FromReduced(
          [&path](int* w, int* h, std::string* r, int* sw, int* sh) {
            return ReducePictureFile(path, kDecodeSide, kDecodeSide, w, h, r, sw, sh);
          },
          out, reason, &inside)) {
    return false;
  }
  if (inside) out->unframed_ = std::make_shared<const PictureDetail>(std::move(*inside));
  return true;
}

PictureDetail PictureDetail::FromPixels(const std::uint32_t* argb, int width, int height, double aspect) {
  PictureDetail detail;
  detail.aspect_ = aspect > 0 ? aspect : static_cast<double>(width) / height;
  const std::vector<Span> across = Spans(width), down = Spans(height);
  // Rows reduced across first: height x kSide x 3.
  std::vector<double> rows(static_cast<std::size_t>(height) * kSide * 3, 0.0);
  for (int y = 0; y < height; ++y) {
    for (int o = 0; o < kSide; ++o) {
      const Span& span = across[o];
      double sum[3] = {};
      for (int s = span.first; s <= span.last; ++s) {
        const auto rgb = OnWhite(argb[static_cast<std::size_t>(y) * width + s]);
        const double w = span.weights[s - span.first];
        for (int c = 0; c < 3; ++c) sum[c] += w * rgb[c];
      }
      for (int c = 0; c < 3; ++c) rows[(static_cast<std::size_t>(y) * kSide + o) * 3 + c] = sum[c];
    }
  }
  for (int o = 0; o < kSide; ++o) {
    const Span& span = down[o];
    for (int x = 0; x < kSide; ++x) {
      for (int c = 0; c < 3; ++c) {
        double sum = 0;
        for (int s = span.first; s <= span.last; ++s) {
          sum += span.weights[s - span.first] * rows[(static_cast<std::size_t>(s) * kSide + x) * 3 + c];
        }
        detail.values_[(static_cast<std::size_t>(o) * kSide + x) * 3 + c] = static_cast<float>(sum);
      }
    }
  }
  return detail;
}

PictureDetail PictureDetail::Transformed(GridTransform transform) const {
  const Turn t = TurnOf(transform);
  PictureDetail out;
  out.aspect_ = t.xx == 0 ? 1 / aspect_ : aspect_;  // a quarter turn or a transpose swaps the sides
  // Twice the offset from the centre, so that the middle falls between pixels.
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const int dx = 2 * x + 1 - kSide, dy = 2 * y + 1 - kSide;
      const int sx = (t.xx * dx + t.yx * dy + kSide - 1) / 2, sy = (t.xy * dx + t.yy * dy + kSide - 1) / 2;
      for (int c = 0; c < 3; ++c) out.values_[(static_cast<std::size_t>(y) * kSide + x) * 3 + c] = At(sx, sy, c);
    }
  }
  return out;
}

bool PictureDetail::IsGray() const {
  constexpr float kTolerance = 6;
  for (std::size_t i = 0; i < values_.size(); i += 3) {
    const auto [low, high] = std::minmax({values_[i], values_[i + 1], values_[i + 2]});
    if (high - low > kTolerance) return false;
  }
  return true;
}
