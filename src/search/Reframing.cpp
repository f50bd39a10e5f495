#include "search/Reframing.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <numbers>
#include <utility>

namespace {

// Sample points per side of the edited picture when a map is made.
constexpr int kSamples = 96;
static_assert(kSamples % 3 == 0);

// Samples a map: `where(u, v)` gives, for a point of the edited picture (u, v
// in 0..1, left to right and top to bottom), the point of the original, which
// lies outside 0..1 where the edited picture shows its frame.
template <class Where>
Reframing::Model Sample(Where where) {
  float shares[9][9] = {};
  const float point = 9.0f / (kSamples * kSamples);  // one sample's share of its cell
  Reframing::Model model;
  for (int i = 0; i < kSamples; ++i) {
    for (int j = 0; j < kSamples; ++j) {
      const double u = (j + 0.5) / kSamples, v = (i + 0.5) / kSamples;
      const int cell = 3 * (3 * i / kSamples) + 3 * j / kSamples;
      const auto [x, y] = where(u, v);
      if (x < 0 || x >= 1 || y < 0 || y >= 1) {
        model.frame[cell] += point;
      } else {
        shares[cell][3 * static_cast<int>(3 * y) + static_cast<int>(3 * x)] += point;
      }
    }
  }
  for (int cell = 0; cell < 9; ++cell) {
    for (int source = 0; source < 9; ++source) {
      if (shares[cell][source] > 0) {
        model.entries.push_back(
            {static_cast<std::uint8_t>(cell), static_cast<std::uint8_t>(source), shares[cell][source]});
      }
    }
    model.frameNorm += model.frame[cell] * model.frame[cell];
  }
  return model;
}

// The original's [x0, x1] x [y0, y1] as the edited picture: a crop where the
// window lies inside 0..1, a border where it reaches beyond.
Reframing::Model Window(double x0, double x1, double y0, double y1) {
  return Sample([=](double u, double v) { return std::pair{x0 + u * (x1 - x0), y0 + v * (y1 - y0)}; });
}

// The original (aspect width / height) turned by `degrees` on a canvas that
// holds all of it.
Reframing::Model Turn(double degrees, double aspect) {
  const double t = degrees * std::numbers::pi / 180, c = std::cos(t), s = std::sin(t);
  const double canvasWidth = aspect * c + s, canvasHeight = aspect * s + c;
  return Sample([=](double u, double v) {
    const double px = (u - 0.5) * canvasWidth, py = (v - 0.5) * canvasHeight;
    return std::pair{(c * px + s * py) / aspect + 0.5, -s * px + c * py + 0.5};
  });
}

std::vector<Reframing::Model> MakeModels() {
  std::vector<Reframing::Model> models;
  // A wide frame (beyond 5 % a side) leaves less of the picture to agree and
  // fits look-alikes on white too: its differences count one and a half
  // times (1: never-posted drawings of the tuning half called similar 5.7 ->
  // 12.5 %; 1.5: 6.2 %, with most of the framed copies still found).
  constexpr float kWideCost = 1.5f;
  for (double bx : {0.015, 0.03, 0.05, 0.08, 0.12}) {
    for (double by : {0.015, 0.03, 0.05, 0.08, 0.12}) {
      models.push_back(Window(-bx, 1 + bx, -by, 1 + by));
      if (std::max(bx, by) > 0.05) models.back().cost = kWideCost;
    }
  }
  const std::pair<double, double> sides[] = {{0, 1}, {0.015, 0.985}, {0.035, 0.965}, {0, 0.92}, {0.08, 1}};
  for (const auto& [y0, y1] : sides) {
    for (const auto& [x0, x1] : sides) {
      if (x0 != 0 || x1 != 1 || y0 != 0 || y1 != 1) models.push_back(Window(x0, x1, y0, y1));
    }
  }
  for (double degrees : {-3.0, -1.5, 1.5, 3.0}) models.push_back(Turn(degrees, 1.5));
  return models;
}

}  // namespace

const std::vector<Reframing::Model>& Reframing::Models() {
  static const std::vector<Model> kModels = MakeModels();
  return kModels;
}

namespace {

// The map of a frame `border` wide on every side, sampled once per width
// (a search asks for the same one or two).
const Reframing::Model& FrameModel(double border) {
  static std::mutex lock;
  static std::map<double, Reframing::Model> made;
  const std::lock_guard<std::mutex> held(lock);
  auto [it, added] = made.try_emplace(border);
  if (added) it->second = Window(-border, 1 + border, -border, 1 + border);
  return it->second;
}

}  // namespace

ImageCache::Colours Reframing::Unframed(const ImageCache::Colours& query, double border, int colour) {
  const Model& model = FrameModel(border);
  // The map as a 9 x 9 matrix; each of its rows the shares of one framed cell.
  double a[9][9] = {};
  for (const Entry& e : model.entries) a[e.cell][e.source] += e.share;
  ImageCache::Colours out{};
  for (int ch = 0; ch < 3; ++ch) {
    double m[9][10];
    for (int cell = 0; cell < 9; ++cell) {
      for (int source = 0; source < 9; ++source) m[cell][source] = a[cell][source];
      m[cell][9] = query[3 * cell + ch] - model.frame[cell] * colour;
    }
    // Gauss-Jordan with partial pivoting: the map of a small frame is close
    // to the identity, so it is well conditioned.
    for (int col = 0; col < 9; ++col) {
      int pivot = col;
      for (int r = col + 1; r < 9; ++r) {
        if (std::abs(m[r][col]) > std::abs(m[pivot][col])) pivot = r;
      }
      std::swap(m[col], m[pivot]);
      for (int r = 0; r < 9; ++r) {
        if (r == col || m[col][col] == 0) continue;
        const double f = m[r][col] / m[col][col];
        for (int k = col; k < 10; ++k) m[r][k] -= f * m[col][k];
      }
    }
    for (int cell = 0; cell < 9; ++cell) {
      const double value = m[cell][cell] != 0 ? m[cell][9] / m[cell][cell] : query[3 * cell + ch];
      out[3 * cell + ch] = static_cast<std::int32_t>(std::clamp(std::lround(value), 0L, 255L));
    }
  }
  return out;
}

bool Reframing::CouldBeFramed(const ImageCache::Colours& query, double border, int colour) {
  const Model& model = FrameModel(border);
  for (int cell = 0; cell < 9; ++cell) {
    const double share = model.frame[cell];
    for (int ch = 0; ch < 3; ++ch) {
      const double value = query[3 * cell + ch];
      // Half a level each way for the rounding of the stored values.
      if (value + 0.5 < share * colour || value - 0.5 > share * colour + (1 - share) * 255) return false;
    }
  }
  return true;
}

std::int64_t Reframing::Difference(const ImageCache::Colours& stored, const ImageCache::Colours& query) {
  // Cells of four lanes (red, green, blue, unused) so that each step works on
  // a whole cell at once.
  float cells[9][4] = {}, wanted[9][4] = {};
  for (int cell = 0; cell < 9; ++cell) {
    for (int ch = 0; ch < 3; ++ch) {
      cells[cell][ch] = static_cast<float>(stored[3 * cell + ch]);
      wanted[cell][ch] = static_cast<float>(query[3 * cell + ch]);
    }
  }
  float best = std::numeric_limits<float>::max();
  for (const Model& model : Models()) {
    float residual[9][4];
    std::memcpy(residual, wanted, sizeof residual);
    for (const Entry& e : model.entries) {
      for (int ch = 0; ch < 4; ++ch) residual[e.cell][ch] -= e.share * cells[e.source][ch];
    }
    float colour[4] = {};
    if (model.frameNorm > 0) {
      for (int cell = 0; cell < 9; ++cell) {
        for (int ch = 0; ch < 4; ++ch) colour[ch] += model.frame[cell] * residual[cell][ch];
      }
      for (int ch = 0; ch < 4; ++ch) colour[ch] = std::clamp(colour[ch] / model.frameNorm, 0.0f, 255.0f);
    }
    float sums[4] = {};
    for (int cell = 0; cell < 9; ++cell) {
      for (int ch = 0; ch < 4; ++ch) sums[ch] += std::abs(residual[cell][ch] - model.frame[cell] * colour[ch]);
    }
    best = std::min(best, model.cost * (sums[0] + sums[1] + sums[2]));
  }
  return std::llround(best);
}
