#include "control/DetailLikeness.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr int kSide = PictureDetail::kSide;

// A frame: the query's (u, v) in 0..1, turned by `angle` (radians) about
// its middle in the query's own shape, shows the stored picture at
// (centreX + scaleX * (u - 0.5), centreY + scaleY * (v - 0.5)).
struct Frame {
  double scaleX = 1, scaleY = 1, centreX = 0.5, centreY = 0.5, angle = 0;
};

// A small turn is searched in steps of this many times a scale's step, and
// never beyond kMaxAngle: a picture turned further is not a small edit.
constexpr double kAnglePerScale = 0.87;  // 0.02 of scale ~ 1 degree
constexpr double kMaxAngle = 5 * std::numbers::pi / 180;

// Luminance weights (halfway between Rec. 601 and Rec. 709, as the search's
// gray comparison), for comparing a gray query with a coloured picture.
constexpr float kLuma[3] = {16 / 64.0f, 42 / 64.0f, 6 / 64.0f};

// The query's samples at one grid size: per place the channels (or the
// luminance), row-major, and the query's shape.
struct Samples {
  int grid = 0;
  int channels = 3;
  double aspect = 1;
  std::vector<double> values;
};

Samples QuerySamples(const PictureDetail& query, int grid, bool grayOnly) {
  Samples s;
  s.grid = grid;
  s.channels = grayOnly ? 1 : 3;
  s.aspect = query.Aspect();
  const int block = kSide / grid;
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
        s.values.push_back((kLuma[0] * sum[0] + kLuma[1] * sum[1] + kLuma[2] * sum[2]) / n);
      } else {
        for (int c = 0; c < 3; ++c) s.values.push_back(sum[c] / n);
      }
    }
  }
  return s;
}

// The stored picture as samples of `grid` per side read it: per pixel the
// channels (or the luminance) averaged over the box of pixels one sample
// covers, so that both sides are compared at the same resolution. A box of
// even width is centred between pixels: entry x holds the box around the
// edge between pixels x and x + 1.
std::vector<float> Plane(const PictureDetail& stored, int channels, int grid) {
  const int box = kSide / grid;
  std::vector<float> plane;
  plane.reserve(static_cast<std::size_t>(kSide) * kSide * channels);
  const auto value = [&](int x, int y, int c) {
    return channels == 1 ? kLuma[0] * stored.At(x, y, 0) + kLuma[1] * stored.At(x, y, 1) + kLuma[2] * stored.At(x, y, 2)
                         : stored.At(x, y, c);
  };
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      for (int c = 0; c < channels; ++c) {
        float sum = 0;
        for (int dy = 1 - box / 2; dy <= box / 2; ++dy) {
          for (int dx = 1 - box / 2; dx <= box / 2; ++dx) {
            sum += value(std::clamp(x + dx, 0, kSide - 1), std::clamp(y + dy, 0, kSide - 1), c);
          }
        }
        plane.push_back(sum / static_cast<float>(box * box));
      }
    }
  }
  return plane;
}

// The stored picture at both grids.
struct Planes {
  std::vector<float> coarse, fine;
  const std::vector<float>& For(int grid) const { return grid == DetailLikeness::kGrid ? fine : coarse; }
};

// Where a query sample's coordinate falls in the stored picture along one
// side of an unturned frame: the pixel to its left (or above) and the share
// of the next one; -1 when outside.
struct Tap {
  int pixel = -1;
  double share = 0;
};

Tap TapAt(double u) {
  if (u < 0 || u > 1) return {};
  // Entry x of a plane lies at x + 1 pixels from the edge.
  const double x = std::clamp(u * kSide - 1, 0.0, kSide - 1.0);
  const int x0 = std::min(static_cast<int>(x), kSide - 2);
  return {x0, x - x0};
}

// Calls visit(place, values) with the stored picture's values (bilinear
// between its pixels) at every query sample that falls inside it under a
// frame. An unturned frame's taps are worked out once a row and once a
// column.
template <class Visit>
void ForEachSample(const Samples& q, const std::vector<float>& plane, const Frame& f, Visit&& visit) {
  const int g = q.grid, ch = q.channels;
  const double c = std::cos(f.angle), s = std::sin(f.angle);
  std::array<Tap, DetailLikeness::kGrid> across{}, down{};
  for (int i = 0; i < g; ++i) {
    const double d = (i + 0.5) / g - 0.5;
    across[i] = TapAt(f.centreX + f.scaleX * d);
    down[i] = TapAt(f.centreY + f.scaleY * d);
  }
  double values[3];
  for (int j = 0; j < g; ++j) {
    const double dv = (j + 0.5) / g - 0.5;
    for (int i = 0; i < g; ++i) {
      Tap tx = across[i], ty = down[j];
      if (f.angle != 0) {
        // Turned in the query's own shape (its width is `aspect` heights).
        const double du = (i + 0.5) / g - 0.5;
        tx = TapAt(f.centreX + f.scaleX * (c * du + s * dv / q.aspect));
        ty = TapAt(f.centreY + f.scaleY * (-s * du * q.aspect + c * dv));
      }
      if (tx.pixel < 0 || ty.pixel < 0) continue;
      const float* top = &plane[(static_cast<std::size_t>(ty.pixel) * kSide + tx.pixel) * ch];
      const float* bottom = top + static_cast<std::size_t>(kSide) * ch;
      for (int k = 0; k < ch; ++k) {
        const double upper = top[k] + tx.share * (top[ch + k] - top[k]);
        const double lower = bottom[k] + tx.share * (bottom[ch + k] - bottom[k]);
        values[k] = upper + ty.share * (lower - upper);
      }
      visit(j * g + i, values);
    }
  }
}

// The stored picture's value at every query sample under a frame, NaN where
// the sample falls outside it (a border).
void Sample(const Samples& q, const std::vector<float>& plane, const Frame& f, std::vector<double>* sampled) {
  sampled->assign(q.values.size(), std::nan(""));
  const int ch = q.channels;
  ForEachSample(q, plane, f, [&](int place, const double* values) {
    std::copy(values, values + ch, sampled->begin() + static_cast<std::ptrdiff_t>(place) * ch);
  });
}

// A picture's values that vary this little (a spread of 5 levels or less at
// the fine grid) show no pattern.
constexpr double kFlatVariance = 25;

// Sums for the correlation of the query's samples with the stored values.
struct Sums {
  std::array<double, 3> sq{}, ss{}, sqq{}, sss{};
  double sqs = 0;
  int n = 0;

  void Add(const double* query, const double* stored, int ch) {
    ++n;
    for (int c = 0; c < ch; ++c) {
      const double a = query[c], b = stored[c];
      sq[c] += a;
      ss[c] += b;
      sqq[c] += a * a;
      sss[c] += b * b;
      sqs += a * b;
    }
  }

  // kCannotTell when too little of the query is left or either side is flat.
  double Correlation(int grid, int ch) const {
    if (n < DetailLikeness::kMinOverlap * grid * grid) return DetailLikeness::kCannotTell;
    // One mean for all channels: a brightness or contrast change moves them
    // alike, a recoloured look-alike does not. Per channel, for telling a
    // flat picture (which may have any colour).
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
    // A flat picture (a sky, a wall) has no pattern to correlate, and two
    // of one colour are not thereby one picture. The coarse grid, which
    // averages more, only looks for the frame: a dark, soft texture still
    // has one.
    const double flat = grid == DetailLikeness::kGrid ? kFlatVariance * count : 0;
    if (withinQ <= flat || withinS <= flat || varQ <= 0 || varS <= 0) return DetailLikeness::kCannotTell;
    return cov / std::sqrt(varQ * varS);
  }
};

// The correlation under one frame.
double Correlation(const Samples& q, const Planes& planes, const Frame& f) {
  const std::vector<float>& plane = planes.For(q.grid);
  Sums sums;
  const int ch = q.channels;
  ForEachSample(q, plane, f, [&](int place, const double* values) {
    sums.Add(&q.values[static_cast<std::size_t>(place) * ch], values, ch);
  });
  return sums.Correlation(q.grid, ch);
}

// The correlation with sampled stored values (NaN outside the stored
// picture), leaving out the places marked in `dropped`.
double Correlation(const Samples& q, const std::vector<double>& sampled, const std::vector<bool>& dropped) {
  Sums sums;
  const int ch = q.channels;
  for (int place = 0; place < q.grid * q.grid; ++place) {
    const std::size_t at = static_cast<std::size_t>(place) * ch;
    if (!std::isnan(sampled[at]) && !dropped[place]) sums.Add(&q.values[at], &sampled[at], ch);
  }
  return sums.Correlation(q.grid, ch);
}

// The straight line (least squares) from stored values b to query values a.
struct StraightLine {
  double sa = 0, sb = 0, sab = 0, sbb = 0;
  std::size_t n = 0;

  void Add(double a, double b) {
    sa += a;
    sb += b;
    sab += a * b;
    sbb += b * b;
    ++n;
  }
  // False when the stored values do not vary (no line to fit).
  bool Fit(double* gain, double* offset) const {
    if (n == 0) return false;
    const double count = static_cast<double>(n), varB = sbb - sb * sb / count;
    if (varB <= 0) return false;
    *gain = (sab - sa * sb / count) / varB;
    *offset = (sa - *gain * sb) / count;
    return true;
  }
};

// The places where the two pictures disagree most under the frame found:
// the kDropShare of the overlap farthest from the straight line that fits
// the stored values to the query's. A watermark, a caption or a logo in a
// corner changes a few places completely; leaving them out keeps a copy
// alike, and a look-alike, which differs all over, gains little.
std::vector<bool> WorstPlaces(const Samples& q, const std::vector<double>& sampled) {
  constexpr double kDropShare = 0.03;
  const int places = q.grid * q.grid, ch = q.channels;
  std::vector<bool> dropped(places, false);
  // Twice: a bright patch on a dark, soft picture pulls the first line
  // towards itself; the line fitted without it shows the patch whole.
  for (int round = 0; round < 2; ++round) {
    StraightLine line;
    for (int place = 0; place < places; ++place) {
      const std::size_t at = static_cast<std::size_t>(place) * ch;
      if (std::isnan(sampled[at]) || dropped[place]) continue;
      for (int c = 0; c < ch; ++c) line.Add(q.values[at + c], sampled[at + c]);
    }
    if (line.n == 0) break;
    double gain = 0, offset = line.sa / static_cast<double>(line.n);
    line.Fit(&gain, &offset);
    std::vector<std::pair<double, int>> misfit;
    for (int place = 0; place < places; ++place) {
      const std::size_t at = static_cast<std::size_t>(place) * ch;
      if (std::isnan(sampled[at])) continue;
      double sum = 0;
      for (int c = 0; c < ch; ++c) sum += std::abs(q.values[at + c] - (offset + gain * sampled[at + c]));
      misfit.emplace_back(sum, place);
    }
    const std::size_t drop = static_cast<std::size_t>(kDropShare * misfit.size());
    std::partial_sort(misfit.begin(), misfit.begin() + drop, misfit.end(),
                      [](const auto& a, const auto& b) { return a.first > b.first; });
    dropped.assign(places, false);
    for (std::size_t k = 0; k < drop; ++k) dropped[misfit[k].second] = true;
  }
  return dropped;
}

// The correlation of the two pictures' detail under the frame found: each
// sample less the mean of its block of kBlock x kBlock samples, so that two
// smooth pictures (two skies, two soft gradients) that share only their
// broad light do not agree. A picture without such detail cannot be told.
// A block the frame cuts is left out (its mean is not the picture's); the
// dropped places are left out of their block.
double DetailCorrelation(const Samples& q, const std::vector<double>& sampled, const std::vector<bool>& dropped) {
  constexpr int kBlock = 4;
  constexpr int kMinKept = kBlock * kBlock / 2;
  constexpr double kFlatDetail = 4;  // a spread of 2 levels
  const int g = q.grid, ch = q.channels;
  double sq = 0, ss = 0, sqq = 0, sss = 0, sqs = 0;
  std::size_t n = 0;
  std::vector<std::size_t> kept;
  for (int by = 0; by < g; by += kBlock) {
    for (int bx = 0; bx < g; bx += kBlock) {
      kept.clear();
      bool cut = false;
      for (int j = by; j < by + kBlock; ++j) {
        for (int i = bx; i < bx + kBlock; ++i) {
          const int place = j * g + i;
          cut = cut || std::isnan(sampled[static_cast<std::size_t>(place) * ch]);
          if (!dropped[place]) kept.push_back(static_cast<std::size_t>(place) * ch);
        }
      }
      if (cut || kept.size() < kMinKept) continue;
      for (int c = 0; c < ch; ++c) {
        double meanQ = 0, meanS = 0;
        for (std::size_t at : kept) {
          meanQ += q.values[at + c];
          meanS += sampled[at + c];
        }
        meanQ /= static_cast<double>(kept.size());
        meanS /= static_cast<double>(kept.size());
        for (std::size_t at : kept) {
          const double a = q.values[at + c] - meanQ, b = sampled[at + c] - meanS;
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
  if (n == 0) return DetailLikeness::kCannotTell;
  const double count = static_cast<double>(n);
  const double varQ = sqq - sq * sq / count, varS = sss - ss * ss / count;
  if (varQ < kFlatDetail * count || varS < kFlatDetail * count) return DetailLikeness::kCannotTell;
  return (sqs - sq * ss / count) / std::sqrt(varQ * varS);
}

// Walks one frame's scales, centre and turn while the correlation grows:
// in large steps on the coarse samples, then in small ones on the fine.
void Refine(const Samples& coarse, const Samples& fine, const Planes& planes, Frame* f) {
  for (const auto& [samples, step] : {std::pair{&coarse, 0.02}, std::pair{&fine, 0.008}}) {
    double score = Correlation(*samples, planes, *f);
    constexpr int kMaxRounds = 8;  // a bound on the walk; it rarely takes more than two
    for (int round = 0, moved = 1; moved && round < kMaxRounds; ++round) {
      moved = 0;
      for (double Frame::*field : {&Frame::scaleX, &Frame::scaleY, &Frame::centreX, &Frame::centreY, &Frame::angle}) {
        const double size = field == &Frame::angle ? step * kAnglePerScale : step;
        for (double sign : {-1.0, 1.0}) {
          Frame trial = *f;
          trial.*field += sign * size;
          if (std::abs(trial.angle) > kMaxAngle) continue;
          const double s = Correlation(*samples, planes, trial);
          if (s > score + 1e-6) {
            score = s;
            *f = trial;
            moved = 1;
          }
        }
      }
    }
  }
}

// The stored values as the query's tones show them: through the straight
// line from the stored values to the query's, fitted where the query is not
// clipped, then clipped to 0..255 as the query's own values are. A
// brightened or contrast-raised copy loses its lightest places to white (and
// its darkest to black), which no straight line follows; seen so, they agree
// again. False when the query has no clipped value, the line does not rise
// or no stored value falls beyond 0..255 through it: a rising line alone
// changes no correlation, so the stored values as they are say the same.
bool ThroughQueryTones(const Samples& q, const std::vector<double>& sampled, std::vector<double>* toned) {
  constexpr double kBlack = 0.5, kWhite = 254.5;
  StraightLine line;
  std::size_t clipped = 0;
  for (std::size_t at = 0; at < sampled.size(); ++at) {
    if (std::isnan(sampled[at])) continue;
    const double a = q.values[at];
    if (a <= kBlack || a >= kWhite) {
      ++clipped;
    } else {
      line.Add(a, sampled[at]);
    }
  }
  double gain = 0, offset = 0;
  if (clipped == 0 || line.n < 2 || !line.Fit(&gain, &offset) || gain <= 0) return false;
  toned->resize(sampled.size());
  bool bent = false;
  std::transform(sampled.begin(), sampled.end(), toned->begin(), [&](double b) {
    if (std::isnan(b)) return b;
    const double seen = offset + gain * b;
    bent = bent || seen < 0 || seen > 255;
    return std::clamp(seen, 0.0, 255.0);
  });
  return bent;
}

// The likeness of sampled stored values: the few places that disagree most
// left out, and the broad light agreeing not enough: the detail must agree
// too.
double JudgedSampled(const Samples& fine, const std::vector<double>& sampled) {
  const std::vector<bool> dropped = WorstPlaces(fine, sampled);
  const double whole = Correlation(fine, sampled, dropped);
  const double detail = DetailCorrelation(fine, sampled, dropped);
  return whole == DetailLikeness::kCannotTell || detail == DetailLikeness::kCannotTell ? DetailLikeness::kCannotTell
                                                                                      : std::min(whole, detail);
}

// The likeness under one frame, as the stored picture is and as the query's
// clipped tones would show it. A picture that cannot be told as it is stays
// so: a line that stretches a nearly flat picture makes up no detail.
double Judged(const Samples& fine, const std::vector<float>& plane, const Frame& frame, std::vector<double>* sampled,
              std::vector<double>* toned) {
  Sample(fine, plane, frame, sampled);
  const double asStored = JudgedSampled(fine, *sampled);
  if (asStored == DetailLikeness::kCannotTell || !ThroughQueryTones(fine, *sampled, toned)) return asStored;
  return std::max(asStored, JudgedSampled(fine, *toned));
}

// The mean variance of each channel's values over the square [from, to) of
// a `side` x `side` grid.
template <class Value>
double Variance(const std::vector<Value>& values, int side, int channels, int from, int to) {
  double total = 0;
  const double places = static_cast<double>(to - from) * (to - from);
  for (int c = 0; c < channels; ++c) {
    double sum = 0, squares = 0;
    for (int y = from; y < to; ++y) {
      for (int x = from; x < to; ++x) {
        const double v = values[(static_cast<std::size_t>(y) * side + x) * channels + c];
        sum += v;
        squares += v * v;
      }
    }
    total += squares / places - (sum / places) * (sum / places);
  }
  return total / channels;
}

// How flat a picture is as a whole, and how much detail its middle half of
// each side holds: what a border of up to a quarter of a side or a crop of
// an eighth leaves of it.
struct Spread {
  double whole = 0, middle = 0;

  template <class Value>
  static Spread Of(const std::vector<Value>& values, int side, int channels) {
    return {Variance(values, side, channels, 0, side), Variance(values, side, channels, side / 4, side - side / 4)};
  }
};

// A picture flat all over and one whose middle has clear detail (at least
// four times a flat picture's variance) are not one picture: no edit of a
// copy wipes out its detail or makes it up. (A copy's middle with a little
// of an edge in it is not flat all over.)
bool FlatAgainstDetailed(const Spread& query, const Spread& stored) {
  constexpr double kDetailed = 4 * kFlatVariance;
  return (query.whole <= kFlatVariance && stored.middle >= kDetailed) ||
         (stored.whole <= kFlatVariance && query.middle >= kDetailed);
}

}  // namespace

double DetailLikeness::Of(const PictureDetail& query, const PictureDetail& stored, bool grayOnly) {
  return Of(std::span<const PictureDetail>(&query, 1), stored, grayOnly);
}

double DetailLikeness::Of(std::span<const PictureDetail> queries, const PictureDetail& stored, bool grayOnly) {
  // Coarse: one scale for both sides, the centre moved a little, on a
  // 16 x 16 grid, for every way of seeing the query; then the best few
  // frames refined on the full grid, each side's scale and centre and a
  // small turn on their own. Nearest the picture as it is first: of frames
  // the coarse grid cannot tell apart (a texture too fine for it), those
  // are refined.
  static constexpr double kScales[] = {1.0, 0.96, 1.04, 0.92, 1.08, 0.88, 1.14, 1.2, 1.27};
  static constexpr double kShifts[] = {0, -0.03, 0.03, -0.06, 0.06};
  if (queries.empty()) return kCannotTell;
  const int channels = grayOnly ? 1 : 3;
  const Planes planes{Plane(stored, channels, kGrid / 2), Plane(stored, channels, kGrid)};
  std::vector<Samples> fine;
  for (const PictureDetail& query : queries) fine.push_back(QuerySamples(query, kGrid, grayOnly));
  if (FlatAgainstDetailed(Spread::Of(fine[0].values, kGrid, channels), Spread::Of(planes.fine, kSide, channels))) {
    return kUnlike;
  }
  struct Tried {
    double score;
    std::size_t query;
    Frame frame;
  };
  std::vector<Tried> tried;
  std::vector<Samples> coarse;
  for (std::size_t k = 0; k < queries.size(); ++k) {
    coarse.push_back(QuerySamples(queries[k], kGrid / 2, grayOnly));
    for (double scale : kScales) {
      for (double dx : kShifts) {
        for (double dy : kShifts) {
          const Frame f{scale, scale, 0.5 + dx, 0.5 + dy};
          tried.push_back({Correlation(coarse[k], planes, f), k, f});
        }
      }
    }
  }
  constexpr std::size_t kRefined = 2;
  std::stable_sort(tried.begin(), tried.end(), [](const Tried& a, const Tried& b) { return a.score > b.score; });
  // Each frame refined, and the picture as it is, judged in full: a frame
  // that pushes a watermark off the stored picture can correlate better than
  // the true one, which only wins once the few places that disagree most are
  // left out.
  std::vector<std::pair<std::size_t, Frame>> frames{{0, Frame{}}};
  for (std::size_t k = 0; k < kRefined; ++k) {
    Frame f = tried[k].frame;
    const std::size_t which = tried[k].query;
    Refine(coarse[which], fine[which], planes, &f);
    frames.emplace_back(which, f);
  }
  double best = kCannotTell;
  std::vector<double> sampled, toned;
  for (const auto& [which, frame] : frames) {
    best = std::max(best, Judged(fine[which], planes.fine, frame, &sampled, &toned));
  }
  return best;
}
