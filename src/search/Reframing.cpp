#include "search/Reframing.h"

#include <algorithm>
#include <cmath>
#include <numbers>

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
  for (double bx : {0.015, 0.03, 0.05}) {
    for (double by : {0.015, 0.03, 0.05}) models.push_back(Window(-bx, 1 + bx, -by, 1 + by));
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

std::int64_t Reframing::Difference(const ImageCache::Colours& stored, const ImageCache::Colours& query) {
  float best = 0;
  bool first = true;
  for (const Model& model : Models()) {
    float residual[27];
    for (int v = 0; v < 27; ++v) residual[v] = static_cast<float>(query[v]);
    for (const Entry& e : model.entries) {
      for (int ch = 0; ch < 3; ++ch) residual[3 * e.cell + ch] -= e.share * static_cast<float>(stored[3 * e.source + ch]);
    }
    float sum = 0;
    for (int ch = 0; ch < 3; ++ch) {
      float colour = 0;
      if (model.frameNorm > 0) {
        for (int cell = 0; cell < 9; ++cell) colour += model.frame[cell] * residual[3 * cell + ch];
        colour = std::clamp(colour / model.frameNorm, 0.0f, 255.0f);
      }
      for (int cell = 0; cell < 9; ++cell) sum += std::abs(residual[3 * cell + ch] - model.frame[cell] * colour);
    }
    if (first || sum < best) best = sum;
    first = false;
  }
  return std::llround(best);
}
