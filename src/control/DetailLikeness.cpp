#include "control/DetailLikeness.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

// A frame: the query's (u, v) in 0..1 shows the stored picture at
// (centreX + scaleX * (u - 0.5), centreY + scaleY * (v - 0.5)).
struct Frame {
  double scaleX = 1, scaleY = 1, centreX = 0.5, centreY = 0.5;
};

// The query's samples at one grid size: per place the channels (or their
// mean), row-major.
struct Samples {
  int grid = 0;
  int channels = 3;
  std::vector<double> values;
};

Samples QuerySamples(const PictureDetail& query, int grid, bool grayOnly) {
  Samples s;
  s.grid = grid;
  s.channels = grayOnly ? 1 : 3;
  const int block = PictureDetail::kSide / grid;
  for (int j = 0; j < grid; ++j) {
    for (int i = 0; i < grid; ++i) {
      double sum[3] = {};
      for (int y = j * block; y < (j + 1) * block; ++y) {
        for (int x = i * block; x < (i + 1) * block; ++x) {
          for (int c = 0; c < 3; ++c) sum[c] += query.At(x, y, c);
        }
      }
      const double n = block * block;
      if (grayOnly) {
        s.values.push_back((sum[0] + sum[1] + sum[2]) / (3 * n));
      } else {
        for (int c = 0; c < 3; ++c) s.values.push_back(sum[c] / n);
      }
    }
  }
  return s;
}

// The correlation under one frame (-1 when too little of the query is left).
double Correlation(const Samples& q, const PictureDetail& stored, const Frame& f) {
  const int g = q.grid, ch = q.channels;
  std::array<double, 3> sq{}, ss{}, sqq{}, sss{}, sqs{};
  double absolute = 0;
  int n = 0;
  for (int j = 0; j < g; ++j) {
    const double v = f.centreY + f.scaleY * ((j + 0.5) / g - 0.5);
    if (v < 0 || v > 1) continue;
    for (int i = 0; i < g; ++i) {
      const double u = f.centreX + f.scaleX * ((i + 0.5) / g - 0.5);
      if (u < 0 || u > 1) continue;
      ++n;
      const double* qv = &q.values[(static_cast<std::size_t>(j) * g + i) * ch];
      for (int c = 0; c < ch; ++c) {
        const double s = ch == 1 ? (stored.Sample(u, v, 0) + stored.Sample(u, v, 1) + stored.Sample(u, v, 2)) / 3
                                 : stored.Sample(u, v, c);
        sq[c] += qv[c];
        ss[c] += s;
        sqq[c] += qv[c] * qv[c];
        sss[c] += s * s;
        sqs[c] += qv[c] * s;
        absolute += std::abs(qv[c] - s);
      }
    }
  }
  if (n < DetailLikeness::kMinOverlap * g * g) return -1;
  double cov = 0, varQ = 0, varS = 0;
  for (int c = 0; c < ch; ++c) {
    cov += sqs[c] - sq[c] * ss[c] / n;
    varQ += sqq[c] - sq[c] * sq[c] / n;
    varS += sss[c] - ss[c] * ss[c] / n;
  }
  // A flat picture has no pattern to correlate: only its colour can agree
  // (a spread of 2 levels or less counts as flat).
  constexpr double kFlatVariance = 4;
  if (varQ < kFlatVariance * n * ch || varS < kFlatVariance * n * ch) {
    return std::max(0.0, 1 - absolute / (n * ch) / 32);
  }
  return cov / std::sqrt(varQ * varS);
}

}  // namespace

double DetailLikeness::Of(const PictureDetail& query, const PictureDetail& stored, bool grayOnly) {
  // Coarse: one scale for both sides, the centre moved a little, on a
  // 16 x 16 grid; then the best few frames refined on the full grid, each
  // side's scale and centre on its own, in ever smaller steps.
  static constexpr double kScales[] = {0.88, 0.92, 0.96, 1.0, 1.04, 1.08, 1.14, 1.2, 1.27};
  static constexpr double kShifts[] = {-0.06, -0.03, 0, 0.03, 0.06};
  const Samples coarse = QuerySamples(query, kGrid / 2, grayOnly);
  const Samples fine = QuerySamples(query, kGrid, grayOnly);
  std::vector<std::pair<double, Frame>> tried;
  for (double scale : kScales) {
    for (double dx : kShifts) {
      for (double dy : kShifts) {
        const Frame f{scale, scale, 0.5 + dx, 0.5 + dy};
        tried.emplace_back(Correlation(coarse, stored, f), f);
      }
    }
  }
  constexpr std::size_t kRefined = 3;
  std::partial_sort(tried.begin(), tried.begin() + kRefined, tried.end(),
                    [](const auto& a, const auto& b) { return a.first > b.first; });
  double best = -1;
  for (std::size_t k = 0; k < kRefined; ++k) {
    Frame f = tried[k].second;
    double score = Correlation(fine, stored, f);
    for (double step : {0.02, 0.01, 0.005}) {
      constexpr int kMaxRounds = 8;  // a bound on the walk; it rarely takes more than two
      for (int round = 0, moved = 1; moved && round < kMaxRounds; ++round) {
        moved = 0;
        for (double Frame::*field : {&Frame::scaleX, &Frame::scaleY, &Frame::centreX, &Frame::centreY}) {
          for (double sign : {-1.0, 1.0}) {
            Frame trial = f;
            trial.*field += sign * step;
            const double s = Correlation(fine, stored, trial);
            if (s > score + 1e-6) {
              score = s;
              f = trial;
              moved = 1;
            }
          }
        }
      }
    }
    best = std::max(best, score);
  }
  return best;
}
