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

// Where a query sample's coordinate falls in the stored picture: the pixel
// to its left (or above) and the share of the next one; -1 when outside.
struct Tap {
  int pixel = -1;
  float share = 0;
};

std::vector<Tap> Taps(int grid, double scale, double centre) {
  constexpr int kSide = PictureDetail::kSide;
  std::vector<Tap> taps(grid);
  for (int i = 0; i < grid; ++i) {
    const double u = centre + scale * ((i + 0.5) / grid - 0.5);
    if (u < 0 || u > 1) continue;
    const double x = std::clamp(u * kSide - 0.5, 0.0, kSide - 1.0);
    const int x0 = std::min(static_cast<int>(x), kSide - 2);
    taps[i] = {x0, static_cast<float>(x - x0)};
  }
  return taps;
}

// The stored picture as the samples read it: per pixel the channels, or
// their mean.
std::vector<float> Plane(const PictureDetail& stored, int channels) {
  constexpr int kSide = PictureDetail::kSide;
  std::vector<float> plane;
  plane.reserve(static_cast<std::size_t>(kSide) * kSide * channels);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      if (channels == 1) {
        plane.push_back((stored.At(x, y, 0) + stored.At(x, y, 1) + stored.At(x, y, 2)) / 3);
      } else {
        for (int c = 0; c < 3; ++c) plane.push_back(stored.At(x, y, c));
      }
    }
  }
  return plane;
}

// The correlation under one frame (kCannotTell when too little of the query
// is left or either side is flat). With `sampled`, the stored picture's
// value at every query sample (NaN outside it) goes there too.
double Correlation(const Samples& q, const std::vector<float>& plane, const Frame& f,
                   std::vector<double>* sampled = nullptr) {
  constexpr int kSide = PictureDetail::kSide;
  const int g = q.grid, ch = q.channels;
  const std::vector<Tap> across = Taps(g, f.scaleX, f.centreX), down = Taps(g, f.scaleY, f.centreY);
  // One mean for all channels: a brightness or contrast change moves them
  // alike, a recoloured look-alike does not.
  // Per channel, for telling a flat picture (which may have any colour).
  std::array<double, 3> sq{}, ss{}, sqq{}, sss{};
  double sqs = 0;
  int n = 0;
  if (sampled != nullptr) sampled->assign(q.values.size(), std::nan(""));
  for (int j = 0; j < g; ++j) {
    const Tap& ty = down[j];
    if (ty.pixel < 0) continue;
    const float* top = &plane[static_cast<std::size_t>(ty.pixel) * kSide * ch];
    const float* bottom = top + static_cast<std::size_t>(kSide) * ch;
    for (int i = 0; i < g; ++i) {
      const Tap& tx = across[i];
      if (tx.pixel < 0) continue;
      ++n;
      const double* qv = &q.values[(static_cast<std::size_t>(j) * g + i) * ch];
      const int left = tx.pixel * ch, right = left + ch;
      for (int c = 0; c < ch; ++c) {
        const double upper = top[left + c] + tx.share * (top[right + c] - top[left + c]);
        const double lower = bottom[left + c] + tx.share * (bottom[right + c] - bottom[left + c]);
        const double s = upper + ty.share * (lower - upper);
        if (sampled != nullptr) (*sampled)[(static_cast<std::size_t>(j) * g + i) * ch + c] = s;
        sq[c] += qv[c];
        ss[c] += s;
        sqq[c] += qv[c] * qv[c];
        sss[c] += s * s;
        sqs += qv[c] * s;
      }
    }
  }
  if (n < DetailLikeness::kMinOverlap * g * g) return DetailLikeness::kCannotTell;
  const double count = static_cast<double>(n) * ch;
  double withinQ = 0, withinS = 0, sumQ = 0, sumS = 0, squaresQ = 0, squaresS = 0;
  for (int c = 0; c < ch; ++c) {
    withinQ += sqq[c] - sq[c] * sq[c] / n;
    withinS += sss[c] - ss[c] * ss[c] / n;
    sumQ += sq[c];
    sumS += ss[c];
    squaresQ += sqq[c];
    squaresS += sss[c];
  }
  const double cov = sqs - sumQ * sumS / count, varQ = squaresQ - sumQ * sumQ / count,
               varS = squaresS - sumS * sumS / count;
  // A flat picture (a sky, a wall: a spread of 5 levels or less) has no
  // pattern to correlate, and two of one colour are not thereby one picture.
  constexpr double kFlatVariance = 25;
  if (withinQ < kFlatVariance * count || withinS < kFlatVariance * count) return DetailLikeness::kCannotTell;
  return cov / std::sqrt(varQ * varS);
}

// The correlation of the two pictures' detail under the frame found: each
// sample less the mean of its block of kBlock x kBlock samples, so that two
// smooth pictures (two skies, two soft gradients) that share only their
// broad light do not agree. A picture without such detail cannot be told.
double DetailCorrelation(const Samples& q, const std::vector<double>& sampled) {
  constexpr int kBlock = 4;
  constexpr double kFlatDetail = 4;  // a spread of 2 levels
  const int g = q.grid, ch = q.channels;
  double sq = 0, ss = 0, sqq = 0, sss = 0, sqs = 0;
  std::size_t n = 0;
  for (int by = 0; by < g; by += kBlock) {
    for (int bx = 0; bx < g; bx += kBlock) {
      for (int c = 0; c < ch; ++c) {
        double meanQ = 0, meanS = 0;
        int m = 0;
        for (int j = by; j < by + kBlock; ++j) {
          for (int i = bx; i < bx + kBlock; ++i) {
            const std::size_t at = (static_cast<std::size_t>(j) * g + i) * ch + c;
            if (std::isnan(sampled[at])) continue;
            meanQ += q.values[at];
            meanS += sampled[at];
            ++m;
          }
        }
        if (m < kBlock * kBlock) continue;  // a block the frame cuts: its mean is not the picture's
        meanQ /= m;
        meanS /= m;
        for (int j = by; j < by + kBlock; ++j) {
          for (int i = bx; i < bx + kBlock; ++i) {
            const std::size_t at = (static_cast<std::size_t>(j) * g + i) * ch + c;
            const double a = q.values[at] - meanQ, b = sampled[at] - meanS;
            sq += a;
            ss += b;
            sqq += a * a;
            sss += b * b;
            sqs += a * b;
            ++n;
          }
        }
      }
    }
  }
  if (n == 0) return DetailLikeness::kCannotTell;
  const double count = static_cast<double>(n);
  const double varQ = sqq - sq * sq / count, varS = sss - ss * ss / count;
  if (varQ < kFlatDetail * count || varS < kFlatDetail * count) return DetailLikeness::kCannotTell;
  return (sqs - sq * ss / count) / std::sqrt(varQ * varS);
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
  const std::vector<float> plane = Plane(stored, coarse.channels);
  std::vector<std::pair<double, Frame>> tried;
  for (double scale : kScales) {
    for (double dx : kShifts) {
      for (double dy : kShifts) {
        const Frame f{scale, scale, 0.5 + dx, 0.5 + dy};
        tried.emplace_back(Correlation(coarse, plane, f), f);
      }
    }
  }
  constexpr std::size_t kRefined = 2;
  std::partial_sort(tried.begin(), tried.begin() + kRefined, tried.end(),
                    [](const auto& a, const auto& b) { return a.first > b.first; });
  double best = kCannotTell;
  Frame bestFrame;
  for (std::size_t k = 0; k < kRefined; ++k) {
    Frame f = tried[k].second;
    double score = Correlation(fine, plane, f);
    for (double step : {0.02, 0.008}) {
      constexpr int kMaxRounds = 8;  // a bound on the walk; it rarely takes more than two
      for (int round = 0, moved = 1; moved && round < kMaxRounds; ++round) {
        moved = 0;
        for (double Frame::*field : {&Frame::scaleX, &Frame::scaleY, &Frame::centreX, &Frame::centreY}) {
          for (double sign : {-1.0, 1.0}) {
            Frame trial = f;
            trial.*field += sign * step;
            const double s = Correlation(fine, plane, trial);
            if (s > score + 1e-6) {
              score = s;
              f = trial;
              moved = 1;
            }
          }
        }
      }
    }
    if (score > best) {
      best = score;
      bestFrame = f;
    }
  }
  if (best == kCannotTell) return best;
  // The broad light agreeing is not enough: the detail must agree too.
  std::vector<double> sampled;
  Correlation(fine, plane, bestFrame, &sampled);
  const double detail = DetailCorrelation(fine, sampled);
  return detail == kCannotTell ? kCannotTell : std::min(best, detail);
}
