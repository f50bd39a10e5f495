#include "search/MatchSearch.h"
#include "search/Reframing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>

#include "search/CacheTable.h"
#include "search/GridTransform.h"
#include "search/SimilaritySearch.h"
#include "search/Verdict.h"

namespace {

using Kernel = SimilaritySearch::Kernel;
using Colours = ImageCache::Colours;

// A signature whose nine cells all differ: cell k holds (10k + 1, 10k + 2, 10k + 3).
Colours Numbered() {
  Colours c{};
  for (int v = 0; v < 27; ++v) c[v] = 10 * (v / 3) + v % 3 + 1;
  return c;
}

TEST(GridTransformTest, MovesWholeCellsAsThePictureTurns) {
  // Expected: the cell of the original shown at each cell of the result.
  const struct {
    GridTransform transform;
    std::array<int, 9> cells;
  } cases[] = {
      {GridTransform::kIdentity, {0, 1, 2, 3, 4, 5, 6, 7, 8}},
      {GridTransform::kMirror, {2, 1, 0, 5, 4, 3, 8, 7, 6}},
      {GridTransform::kFlip, {6, 7, 8, 3, 4, 5, 0, 1, 2}},
      {GridTransform::kRotate180, {8, 7, 6, 5, 4, 3, 2, 1, 0}},
      // A quarter turn clockwise brings the bottom-left corner to the top left.
      {GridTransform::kRotate90, {6, 3, 0, 7, 4, 1, 8, 5, 2}},
      {GridTransform::kRotate270, {2, 5, 8, 1, 4, 7, 0, 3, 6}},
      {GridTransform::kTranspose, {0, 3, 6, 1, 4, 7, 2, 5, 8}},
      {GridTransform::kAntiTranspose, {8, 5, 2, 7, 4, 1, 6, 3, 0}},
  };
  for (const auto& c : cases) {
    const Colours out = ApplyGridTransform(c.transform, Numbered());
    for (int k = 0; k < 9; ++k) {
      for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(out[3 * k + ch], 10 * c.cells[k] + ch + 1) << static_cast<int>(c.transform);
    }
    EXPECT_EQ(ApplyGridTransform(InverseOf(c.transform), out), Numbered()) << static_cast<int>(c.transform);
  }
  // Two quarter turns make a half turn.
  EXPECT_EQ(ApplyGridTransform(GridTransform::kRotate90, ApplyGridTransform(GridTransform::kRotate90, Numbered())),
            ApplyGridTransform(GridTransform::kRotate180, Numbered()));
}

class MatchSearchTest : public ::testing::Test {
 protected:
  void Add(const Colours& signature) {
    table_.Append(std::to_string(rows_.size()), "t", "n", signature);
    rows_.push_back(signature);
  }
  Colours Random(int low = 0, int high = 255) {
    std::uniform_int_distribution<int> value(low, high);
    Colours c;
    for (auto& v : c) v = value(random_);
    return c;
  }
  void AddRandom(std::size_t count, int low = 0, int high = 255) {
    for (std::size_t i = 0; i < count; ++i) Add(Random(low, high));
  }

  CacheTable table_;
  std::vector<Colours> rows_;
  std::mt19937 random_{7};
};

TEST_F(MatchSearchTest, PlainHitsAndEveryComparisonAgreeAcrossKernels) {
  AddRandom(3000, 90, 140);  // a narrow range makes ties
  for (int q = 0; q < 4; ++q) {
    Colours query = Random(90, 140);
    if (q == 3) {
      for (int k = 0; k < 9; ++k) query[3 * k + 1] = query[3 * k + 2] = query[3 * k];  // gray
    }
    const std::vector<SearchHit> plain = SimilaritySearch(Kernel::kScalar).Run(table_, query);
    const MatchResult reference = MatchSearch(ComparisonSet::All(), 20, Kernel::kScalar).Run(table_, query);
    EXPECT_EQ(reference.hits, plain);
    for (const Kernel kernel : {Kernel::kAuto, Kernel::kSse2, Kernel::kAvx2, Kernel::kAvxVnni}) {
      if (!SimilaritySearch::Supports(kernel)) continue;
      const MatchResult result = MatchSearch(ComparisonSet::All(), 20, kernel).Run(table_, query);
      EXPECT_EQ(result.hits, plain);
      EXPECT_EQ(result.closest, reference.closest) << "kernel " << static_cast<int>(kernel);
    }
  }
}

TEST_F(MatchSearchTest, GrayKernelsEqualTheSingleDifferenceAtTheEdgesAndOnTies) {
  // Extreme values (saturating a careless 16-bit sum), and every row twice so
  // that ties must resolve to the earlier row; a length that leaves a tail.
  const int edges[] = {0, 1, 2, 127, 128, 253, 254, 255};
  std::uniform_int_distribution<int> pick(0, 7);
  for (int i = 0; i < 1001; ++i) {
    Colours c;
    for (auto& v : c) v = i % 3 == 0 ? Random()[0] : edges[pick(random_)];
    Add(c);
    if (i % 5 == 0) Add(c);
  }
  const auto gray = [](std::array<int, 9> cells) {
    Colours q{};
    for (int k = 0; k < 9; ++k) q[3 * k] = q[3 * k + 1] = q[3 * k + 2] = cells[k];
    return q;
  };
  const Colours queries[] = {gray({0, 0, 0, 0, 0, 0, 0, 0, 0}), gray({255, 255, 255, 255, 255, 255, 255, 255, 255}),
                             gray({0, 255, 0, 255, 0, 255, 0, 255, 0}), gray({128, 1, 254, 2, 253, 127, 0, 255, 9}),
                             [&] {  // within the tolerance: channels 4 apart
                               Colours q = gray({255, 0, 200, 4, 251, 100, 0, 255, 60});
                               q[1] = 251, q[4] = 4, q[26] = 56;
                               return q;
                             }()};
  const int kGray = static_cast<int>(Comparison::kGrayscale);
  for (const Colours& query : queries) {
    ASSERT_TRUE(MatchSearch::IsGray(query));
    std::vector<SearchHit> expected;
    for (std::size_t row = 0; row < rows_.size(); ++row) expected.push_back({row, MatchSearch::GrayDifference(rows_[row], query)});
    std::stable_sort(expected.begin(), expected.end(),
                     [](const SearchHit& a, const SearchHit& b) { return a.difference < b.difference; });
    expected.resize(MatchSearch::kClosest);
    for (const Kernel kernel : {Kernel::kScalar, Kernel::kSse2, Kernel::kAvx2, Kernel::kAvxVnni}) {
      if (!SimilaritySearch::Supports(kernel)) continue;
      const MatchResult result = MatchSearch(ComparisonSet::All(), 20, kernel).Run(table_, query);
      EXPECT_EQ(result.closest[kGray], expected) << "kernel " << static_cast<int>(kernel) << " query " << query[0];
    }
  }
  // The single difference at the extremes: white against black is 3 x 255 a cell.
  EXPECT_EQ(MatchSearch::GrayDifference(gray({255, 255, 255, 255, 255, 255, 255, 255, 255}), queries[0]), 9 * 765);
}

TEST_F(MatchSearchTest, AnExactRowIsFoundAtEveryPlaceOfAGroupAndInTheTail) {
  // The SIMD kernels take eight rows a step, two to a vector, and gather
  // each row's ninth cell by a load of its own: a row put in the wrong slot,
  // or given another row's bytes, loses its zero difference. 19 rows: two
  // groups and a tail of three.
  Colours gray{};
  for (int k = 0; k < 9; ++k) gray[3 * k] = gray[3 * k + 1] = gray[3 * k + 2] = 17 + 26 * k;
  const int kGray = static_cast<int>(Comparison::kGrayscale);
  for (std::size_t planted = 0; planted < 19; ++planted) {
    CacheTable table;
    for (std::size_t row = 0; row < 19; ++row) {
      table.Append(std::to_string(row), "t", "n", row == planted ? gray : Random());
    }
    for (const Kernel kernel : {Kernel::kScalar, Kernel::kSse2, Kernel::kAvx2, Kernel::kAvxVnni}) {
      if (!SimilaritySearch::Supports(kernel)) continue;
      const MatchResult result = MatchSearch(ComparisonSet::All(), 20, kernel).Run(table, gray);
      const SearchHit exact{planted, 0};
      ASSERT_FALSE(result.hits.empty());
      EXPECT_EQ(result.hits[0], exact) << "kernel " << static_cast<int>(kernel) << " row " << planted;
      ASSERT_FALSE(result.closest[kGray].empty());
      EXPECT_EQ(result.closest[kGray][0], exact) << "kernel " << static_cast<int>(kernel) << " row " << planted;
    }
  }
}

TEST_F(MatchSearchTest, ThreadsFindWhatOneThreadFinds) {
  // Threads take blocks of kProgressRows rows as they come, so any block
  // boundary may be where one thread's rows end and another's begin: each
  // gets the query on both sides (ties that only row order settles, more
  // than the hit count) and a mirrored copy, among rows of a narrow range
  // (ties everywhere). 7500 rows: three whole chunks and a part.
  const Colours colour = Random(90, 140);
  Colours gray = colour;
  for (int k = 0; k < 9; ++k) gray[3 * k + 1] = gray[3 * k + 2] = gray[3 * k];
  const Colours mirrored = ApplyGridTransform(GridTransform::kMirror, colour);
  for (std::size_t row = 0; row < 7500; ++row) {
    const std::size_t edge = (row + 2) % SimilaritySearch::kProgressRows;
    Add(edge == 1 || edge == 2 ? (row % 2 ? gray : colour) : edge == 0 || edge == 3 ? mirrored : Random(90, 140));
  }
  CacheTable wide;  // the same rows and one far row beyond a byte: 32-bit values
  for (std::size_t row = 0; row < rows_.size(); ++row) wide.Append("w", "t", "n", rows_[row]);
  Colours far{};
  far.fill(100000);
  wide.Append("w", "t", "n", far);
  ASSERT_EQ(wide.GetLayout(), CacheTable::Layout::kInt32);

  const CacheTable* tables[] = {&table_, &wide};
  for (const CacheTable* table : tables) {
    for (const Colours* query : {&colour, static_cast<const Colours*>(&gray)}) {
      std::vector<std::size_t> oneThreadReports;
      const MatchResult one = MatchSearch(ComparisonSet::All(), 6, Kernel::kAuto, 1, 1)
                                  .Run(*table, *query, [&](std::size_t rows) { oneThreadReports.push_back(rows); });
      ASSERT_GE(one.hits.size(), 6u);
      for (const std::size_t threads : {2, 3}) {
        const std::string what = "threads " + std::to_string(threads) + (table == &wide ? " ints" : " bytes") +
                                 (query == &gray ? " gray" : " colour");
        std::vector<std::size_t> reports;
        const std::thread::id caller = std::this_thread::get_id();
        bool elsewhere = false;
        const MatchResult result = MatchSearch(ComparisonSet::All(), 6, Kernel::kAuto, threads, 1, MatchSearch::Helpers::kAlways)
                                       .Run(*table, *query, [&](std::size_t rows) {
                                         elsewhere |= std::this_thread::get_id() != caller;
                                         reports.push_back(rows);
                                       });
        EXPECT_EQ(result.hits, one.hits) << what;
        EXPECT_EQ(result.closest, one.closest) << what;
        // Progress: from the calling thread, growing multiples, the same last count.
        EXPECT_FALSE(elsewhere) << what;
        ASSERT_FALSE(reports.empty()) << what;
        EXPECT_EQ(reports.back(), oneThreadReports.back()) << what;
        for (std::size_t i = 0; i < reports.size(); ++i) {
          EXPECT_EQ(reports[i] % SimilaritySearch::kProgressRows, 0u) << what;
          if (i > 0) {
            EXPECT_GT(reports[i], reports[i - 1]) << what;
          }
        }
      }
    }
  }
}

TEST_F(MatchSearchTest, AProgressCallbackThatThrowsStopsEveryThread) {
  AddRandom(6000);
  const MatchSearch search(ComparisonSet::Default(), 20, Kernel::kAuto, 3, 1, MatchSearch::Helpers::kAlways);
  const auto stop = [](std::size_t) { throw std::runtime_error("stopped"); };
  EXPECT_THROW(search.Run(table_, Random(), stop), std::runtime_error);
  EXPECT_EQ(search.Run(table_, rows_[4321]).hits[0], (SearchHit{4321, 0}));
}

TEST_F(MatchSearchTest, ExactPathForWideValuesGivesTheSameMatches) {
  AddRandom(1500);
  const Colours query = Random();
  const MatchResult packed = MatchSearch(ComparisonSet::All()).Run(table_, query);
  // A far row with a value beyond a byte turns the table to 32-bit values.
  Colours wide{};
  wide.fill(100000);
  Add(wide);
  ASSERT_EQ(table_.GetLayout(), CacheTable::Layout::kInt32);
  const MatchResult exact = MatchSearch(ComparisonSet::All()).Run(table_, query);
  EXPECT_EQ(exact.hits, packed.hits);
  for (int c = 0; c < kComparisonCount; ++c) {
    // The exact path fits the tone of every row; the packed one only of the
    // prefilter's candidates, which must include the closest.
    ASSERT_EQ(exact.closest[c].empty(), packed.closest[c].empty()) << c;
    if (!exact.closest[c].empty()) {
      EXPECT_EQ(exact.closest[c][0], packed.closest[c][0]) << c;
    }
  }
}

TEST_F(MatchSearchTest, EachGridComparisonFindsItsTurnedPictureExactly) {
  AddRandom(2000);
  const Colours original = Random();
  const std::size_t target = rows_.size();
  Add(original);
  AddRandom(2000);
  for (int t = 1; t < kGridTransformCount; ++t) {
    const auto transform = static_cast<GridTransform>(t);
    const Colours query = ApplyGridTransform(transform, original);
    const MatchResult result = MatchSearch(ComparisonSet::All()).Run(table_, query);
    const auto& closest = result.closest[t];
    ASSERT_FALSE(closest.empty());
    EXPECT_EQ(closest[0].row, target) << t;
    EXPECT_EQ(closest[0].difference, 0) << t;
    // Off, the comparison reports nothing.
    EXPECT_TRUE(MatchSearch(ComparisonSet::PlainOnly()).Run(table_, query).closest[t].empty());
  }
}

TEST_F(MatchSearchTest, GrayRunsOnlyForGrayQueriesAndComparesLuminance) {
  // A saturated stored picture and its luminance as a gray query.
  Colours colour{};
  for (int k = 0; k < 9; ++k) {
    colour[3 * k] = 40 + 20 * k;
    colour[3 * k + 1] = 200 - 15 * k;
    colour[3 * k + 2] = 30 + 5 * k;
  }
  Colours gray{};
  for (int k = 0; k < 9; ++k) {
    const int y = (16 * colour[3 * k] + 42 * colour[3 * k + 1] + 6 * colour[3 * k + 2] + 32) / 64;
    gray[3 * k] = gray[3 * k + 1] = gray[3 * k + 2] = y;
  }
  AddRandom(1000);
  const std::size_t target = rows_.size();
  Add(colour);
  const int kGray = static_cast<int>(Comparison::kGrayscale);
  const MatchResult result = MatchSearch(ComparisonSet::All()).Run(table_, gray);
  ASSERT_FALSE(result.closest[kGray].empty());
  EXPECT_EQ(result.closest[kGray][0].row, target);
  EXPECT_LE(result.closest[kGray][0].difference, 14);  // rounding only: at most 1.5 a cell
  // For gray stored values the gray difference is the plain one.
  Colours a{}, b{};
  a.fill(100);
  b.fill(90);
  EXPECT_EQ(MatchSearch::GrayDifference(a, b), 270);
  // The tolerance: channels 4 apart still count as gray, 5 apart do not.
  Colours almost = gray;
  almost[4] = almost[3] + 4;
  EXPECT_TRUE(MatchSearch::IsGray(almost));
  almost[4] = almost[3] + 5;
  EXPECT_FALSE(MatchSearch::IsGray(almost));
  EXPECT_TRUE(MatchSearch(ComparisonSet::All()).Run(table_, almost).closest[kGray].empty());
}

TEST_F(MatchSearchTest, ToneFitsBrightnessAndContrastWithinTheGainLimit) {
  AddRandom(3000, 40, 215);
  const Colours original = Random(40, 215);
  const std::size_t target = rows_.size();
  Add(original);
  const int kTone = static_cast<int>(Comparison::kTone);
  const struct {
    double gain;
    int shift;
    bool found;
  } cases[] = {{1.0, 20, true}, {1.0, -30, true}, {1.2, 0, true}, {0.8, 10, true}, {1.4, -5, true}};
  for (const auto& c : cases) {
    Colours query{};
    for (int v = 0; v < 27; ++v) {
      query[v] = std::clamp(static_cast<int>(128 + c.gain * (original[v] - 128) + c.shift), 0, 255);
    }
    const MatchResult result = MatchSearch(ComparisonSet::All()).Run(table_, query);
    ASSERT_FALSE(result.closest[kTone].empty());
    EXPECT_EQ(result.closest[kTone][0].row, target) << c.gain << " " << c.shift;
    EXPECT_LE(result.closest[kTone][0].difference, 27) << c.gain << " " << c.shift;
  }
  // A gain past the limit is only partly fitted away.
  Colours flat{};
  for (int v = 0; v < 27; ++v) flat[v] = 128 + (original[v] - 128) / 3;
  EXPECT_GT(MatchSearch::ToneDifference(original, flat), 27);
  // Flat pictures: a shift of the mean up to the limit is free, beyond it counts in full.
  Colours grey100{}, grey{};
  grey100.fill(100);
  for (const auto& [level, expected] : {std::pair{132, 0}, {133, 27}, {180, 27 * 48}}) {
    grey.fill(level);
    EXPECT_EQ(MatchSearch::ToneDifference(grey100, grey), expected) << level;
  }
}

// A smooth made-up picture on [0, 1] x [0, 1]: a gradient and three blobs
// per channel, strong enough that its left and right, top and bottom differ.
struct Picture {
  double base[3], dx[3], dy[3], blob[3][4];  // blob: x, y, radius, weight

  static Picture Make(std::mt19937& random) {
    std::uniform_real_distribution<double> u(0, 1);
    Picture p{};
    for (int ch = 0; ch < 3; ++ch) {
      p.base[ch] = 40 + 160 * u(random);
      p.dx[ch] = 240 * (u(random) - 0.5);
      p.dy[ch] = 240 * (u(random) - 0.5);
    }
    for (auto& b : p.blob) {
      b[0] = u(random), b[1] = u(random), b[2] = 0.08 + 0.15 * u(random), b[3] = 300 * (u(random) - 0.5);
    }
    return p;
  }
  double At(double x, double y, int ch) const {
    double v = base[ch] + dx[ch] * x + dy[ch] * y;
    for (const auto& b : blob) {
      const double r2 = ((x - b[0]) * (x - b[0]) + (y - b[1]) * (y - b[1])) / (b[2] * b[2]);
      v += (ch == 1 ? -b[3] : b[3]) * std::exp(-r2);
    }
    return std::clamp(v, 0.0, 255.0);
  }
};

// The 3 x 3 signature (cell averages) of the picture seen through `where`:
// edited point (u, v) -> original point, or outside 0..1 for the frame.
template <class Where>
Colours SignatureThrough(const Picture& p, Where where, int frame, int kN = 60) {
  Colours out{};
  for (int cell = 0; cell < 9; ++cell) {
    double sum[3] = {};
    for (int i = 0; i < kN; ++i) {
      for (int j = 0; j < kN; ++j) {
        const auto [x, y] = where((cell % 3 + (j + 0.5) / kN) / 3, (cell / 3 + (i + 0.5) / kN) / 3);
        const bool inside = x >= 0 && x < 1 && y >= 0 && y < 1;
        for (int ch = 0; ch < 3; ++ch) sum[ch] += inside ? p.At(x, y, ch) : frame;
      }
    }
    for (int ch = 0; ch < 3; ++ch) out[3 * cell + ch] = static_cast<int>(std::lround(sum[ch] / (kN * kN)));
  }
  return out;
}

TEST_F(MatchSearchTest, ReframedFindsSmallCropsBordersAndTurnsOnly) {
  using Where = std::function<std::pair<double, double>(double, double)>;
  const auto window = [](double x0, double x1, double y0, double y1) -> Where {
    return [=](double u, double v) { return std::pair{x0 + u * (x1 - x0), y0 + v * (y1 - y0)}; };
  };
  const auto turn = [](double degrees) -> Where {
    const double t = degrees * std::acos(-1.0) / 180, c = std::cos(t), s = std::sin(t), a = 1.5;
    return [=](double u, double v) {
      const double px = (u - 0.5) * (a * c + s), py = (v - 0.5) * (a * s + c);
      return std::pair{(c * px + s * py) / a + 0.5, -s * px + c * py + 0.5};
    };
  };
  const struct {
    const char* edit;
    Where where;
    int frame;
    bool found;  // first under the reframed comparison, at a small difference below the plain one
    bool crowded = false;  // rows close to the framed query itself fill the plain and tone candidates
    std::int64_t within = 70;  // below the verdict's posted threshold for a reframed match
  } cases[] = {
      {"white border 2 %", window(-0.02, 1.02, -0.03, 1.03), 255, true},
      {"black border 4 %", window(-0.04, 1.04, -0.04, 1.04), 0, true},
      {"gray border 3 % and 1.5 %", window(-0.03, 1.03, -0.015, 1.015), 128, true},
      // A wide frame's difference counts one and a half times.
      {"white border 10 %", window(-0.1, 1.1, -0.1, 1.1), 255, true, false, 110},
      {"white border 10 %, crowded", window(-0.1, 1.1, -0.1, 1.1), 255, true, true, 110},
      {"white border 8 % and 12 %", window(-0.08, 1.08, -0.12, 1.12), 255, true, false, 110},
      {"crop 6 % centred", window(0.03, 0.97, 0.03, 0.97), 0, true},
      {"crop 8 % of the width from the right", window(0, 0.92, 0, 1), 0, true},
      {"crop 8 % of the height from the top", window(0, 1, 0.08, 1), 0, true},
      {"turn 2 degrees on white", turn(2), 255, true},
      {"turn -1 degree on black", turn(-1), 0, true},
      {"crop 40 %: too far", window(0.2, 0.8, 0.2, 0.8), 0, false},
      {"mirrored: not a reframing", [](double u, double v) { return std::pair{1 - u, v}; }, 0, false},
  };
  const int kReframed = static_cast<int>(Comparison::kReframed);
  for (const auto& c : cases) {
    CacheTable table;
    // Enough rows that the plain ranking and the tone prefilter bring only a
    // few of them to the reframed fit.
    for (int i = 0; i < 3000; ++i) {
      table.Append("d", "t", "n", SignatureThrough(Picture::Make(random_), window(0, 1, 0, 1), 0, 6));
    }
    const Picture original = Picture::Make(random_);
    const Colours stored = SignatureThrough(original, window(0, 1, 0, 1), 0);
    const std::size_t target = table.RowCount();
    table.Append("p", "t", "n", stored);
    const Colours query = SignatureThrough(original, c.where, c.frame);
    for (int i = 0; c.crowded && i < 100; ++i) {
      Colours near = query;
      for (int& v : near) v = std::clamp(v + static_cast<int>(random_() % 41) - 20, 0, 255);
      table.Append("n", "t", "n", near);
    }
    const MatchResult result = MatchSearch(ComparisonSet::Default()).Run(table, query);
    ASSERT_FALSE(result.closest[kReframed].empty()) << c.edit;
    const std::int64_t reframed = MatchSearch::ReframedDifference(stored, query);
    std::int64_t plain = 0;
    for (int v = 0; v < 27; ++v) plain += std::abs(stored[v] - query[v]);
    if (c.found) {
      EXPECT_EQ(result.closest[kReframed][0].row, target) << c.edit;
      EXPECT_LE(reframed, c.within) << c.edit;
      EXPECT_LT(reframed, plain) << c.edit;
    } else {
      EXPECT_GT(reframed, c.within) << c.edit;
    }
  }
  // An unchanged picture: every model is a change, yet none costs much.
  const Colours same = SignatureThrough(Picture::Make(random_), window(0, 1, 0, 1), 0);
  EXPECT_LE(MatchSearch::ReframedDifference(same, same), 70);
  // Only a query every cell of which holds a white frame's share asks for
  // the frame's own candidates.
  const Picture framed = Picture::Make(random_);
  Colours white = SignatureThrough(framed, window(-0.06, 1.06, -0.06, 1.06), 255);
  Colours black = SignatureThrough(framed, window(-0.06, 1.06, -0.06, 1.06), 0);
  EXPECT_TRUE(Reframing::CouldBeFramed(white, 0.05, 255));
  EXPECT_TRUE(Reframing::CouldBeFramed(black, 0.05, 0));
  white[0] = 10;   // a dark corner: no white frame there
  black[0] = 250;  // too light for a black frame's share
  EXPECT_FALSE(Reframing::CouldBeFramed(white, 0.05, 255));
  EXPECT_FALSE(Reframing::CouldBeFramed(black, 0.05, 0));
}

// A frame wider than the reframed family's, found in the query's pixels by
// the caller: the picture without it brings the original among the
// candidates, at its own difference; the signature alone does not.
TEST_F(MatchSearchTest, APictureUnframedByItsPixelsBringsItsOriginal) {
  const auto whole = [](double u, double v) { return std::pair{u, v}; };
  const auto framed = [](double u, double v) { return std::pair{1.5 * u - 0.25, 1.5 * v - 0.25}; };
  CacheTable table;
  for (int i = 0; i < 3000; ++i) table.Append("d", "t", "n", SignatureThrough(Picture::Make(random_), whole, 0, 6));
  const Picture original = Picture::Make(random_);
  const Colours stored = SignatureThrough(original, whole, 0);
  const std::size_t target = table.RowCount();
  table.Append("p", "t", "n", stored);
  const Colours query = SignatureThrough(original, framed, 255);
  Colours view = stored;  // the inner picture as the caller's pixels give it: a few levels off
  for (int& v : view) v = std::clamp(v + static_cast<int>(random_() % 7) - 3, 0, 255);
  const int kReframed = static_cast<int>(Comparison::kReframed);
  const MatchSearch search(ComparisonSet::Default());
  const std::vector<Colours> none, views = {Random(), view};
  for (const std::vector<Colours>* unframed : {static_cast<const std::vector<Colours>*>(nullptr), &none, &views}) {
    const MatchResult result = search.Run(table, query, unframed);
    const auto& closest = result.closest[kReframed];
    ASSERT_FALSE(closest.empty());
    const bool found = closest[0].row == target;
    EXPECT_EQ(found, unframed == &views);
    if (found) {
      EXPECT_EQ(closest[0].difference, MatchSearch::UnframedDifference(stored, view));
    }
  }
  EXPECT_EQ(MatchSearch::UnframedDifference(stored, stored), 0);
  EXPECT_LE(MatchSearch::UnframedDifference(stored, view), std::llround(27 * 3 * MatchSearch::kUnframedCost));
}

// A signature that says little needs a closer match: with the thresholds
// full from a spread of 20, a query of spread 5 has a quarter of them, and
// so has a flat one (its exact match still counts).
TEST(VerdictTest, ThresholdsShrinkWithTheQuerysSpread) {
  Verdict::Rules rules;
  rules.fill(Verdict::Rule{100, 200, 1.0, 1.0});
  const Verdict verdict(rules, {.fullSpread = 20});
  using O = Verdict::Outcome;
  const struct {
    double spread;
    std::int64_t difference;
    O outcome;
  } cases[] = {
      {40, 99, O::kPosted}, {20, 99, O::kPosted}, {10, 99, O::kSimilar}, {10, 49, O::kPosted},
      {5, 49, O::kSimilar}, {5, 50, O::kNew},     {5, 24, O::kPosted}, {0, 24, O::kPosted}, {0, 25, O::kSimilar},
  };
  for (const auto& c : cases) {
    MatchResult r;
    r.hits = {{1, c.difference}};
    r.closest[0] = r.hits;
    r.spread = c.spread;
    EXPECT_EQ(verdict.Decide(r).outcome, c.outcome) << c.spread << " " << c.difference;
  }
  ImageCache::Colours flat;
  flat.fill(250);
  EXPECT_EQ(MatchSearch::Spread(flat), 0);
  flat[0] = 250 - 27;
  EXPECT_NEAR(MatchSearch::Spread(flat), 2 * 26.0 / 27, 1e-9);
}

// The verdict's bands on hand-made results: rule (posted < 100, similar < 200,
// margin 0.5) for every comparison.
TEST(VerdictTest, BandsAndMarginsDecideTheOutcome) {
  Verdict::Rules rules;
  rules.fill(Verdict::Rule{100, 200, 0.5});
  const Verdict verdict(rules);
  const auto result = [](int comparison, std::vector<SearchHit> hits) {
    MatchResult r;
    r.hits = {{7, 5000}};
    r.closest[comparison] = std::move(hits);
    return r;
  };
  using O = Verdict::Outcome;
  const struct {
    int comparison;
    std::vector<SearchHit> hits;
    O outcome;
    std::size_t row;
  } cases[] = {
      {0, {{1, 99}, {2, 198}}, O::kPosted, 1},   // margin exactly 0.5
      {0, {{1, 99}, {2, 197}}, O::kSimilar, 1},  // not apart enough
      {0, {{1, 100}, {2, 900}}, O::kSimilar, 1}, // at the posted threshold
      {0, {{1, 0}}, O::kPosted, 1},              // no second row counts as apart
      {1, {{3, 199}, {4, 900}}, O::kSimilar, 3},
      {1, {{3, 200}, {4, 900}}, O::kNew, 7},     // new names the plain closest row
      {9, {{5, 10}, {6, 100}}, O::kPosted, 5},
  };
  for (const auto& c : cases) {
    const Verdict::Decision d = verdict.Decide(result(c.comparison, c.hits));
    EXPECT_EQ(d.outcome, c.outcome) << c.comparison << " " << c.hits[0].difference;
    EXPECT_TRUE(d.hasEntry);
    EXPECT_EQ(d.entry.row, c.row) << c.comparison << " " << c.hits[0].difference;
  }
  // Posted through a grid comparison beats a similar plain match; between two
  // posted ones the smaller share of the threshold wins.
  MatchResult both;
  both.hits = {{1, 150}, {2, 900}};
  both.closest[0] = {{1, 150}, {2, 900}};
  both.closest[static_cast<int>(Comparison::kMirrored)] = {{3, 60}, {4, 900}};
  both.closest[static_cast<int>(Comparison::kTone)] = {{5, 30}, {6, 900}};
  const Verdict::Decision d = verdict.Decide(both);
  EXPECT_EQ(d.outcome, O::kPosted);
  EXPECT_EQ(d.comparison, Comparison::kTone);
  EXPECT_EQ(d.entry.row, 5u);
  // The margins are taken against the closest other row under any comparison
  // that has a rule (the same row found again is no rival); similar needs its
  // own margin. Rules: posted < 100 at 0.5, similar < 200 at 0.9; the
  // mirrored comparison has no rule.
  Verdict::Rules withRivals;
  withRivals.fill(Verdict::Rule{100, 200, 0.5, 0.9});
  withRivals[static_cast<int>(Comparison::kMirrored)] = Verdict::Rule{0, 0, 1.0, 1.0};
  const struct {
    std::vector<SearchHit> plain, tone, mirrored;
    O outcome;
    std::size_t row;
  } rivals[] = {
      {{{1, 99}, {2, 900}}, {{1, 40}, {2, 900}}, {}, O::kPosted, 1},     // the same row again
      {{{1, 99}, {2, 900}}, {{2, 198}}, {}, O::kPosted, 1},              // another row, exactly at 0.5
      {{{1, 99}, {2, 900}}, {{2, 197}}, {}, O::kSimilar, 1},             // another row too close
      {{{1, 99}, {2, 900}}, {}, {{2, 110}}, O::kPosted, 1},              // no rule, no rival
      {{{1, 150}, {2, 167}}, {}, {}, O::kSimilar, 1},                   // 150 <= 0.9 x 167
      {{{1, 150}, {2, 166}}, {}, {}, O::kNew, 7},                       // 150 > 0.9 x 166
      {{{1, 150}, {2, 167}}, {{3, 160}}, {}, O::kNew, 7},               // 150 > 0.9 x 160 (and 160 > 0.9 x 150)
  };
  for (const auto& c : rivals) {
    MatchResult r;
    r.hits = {{7, 5000}};
    r.closest[0] = c.plain;
    r.closest[static_cast<int>(Comparison::kTone)] = c.tone;
    r.closest[static_cast<int>(Comparison::kMirrored)] = c.mirrored;
    const Verdict::Decision d = Verdict(withRivals).Decide(r);
    EXPECT_EQ(d.outcome, c.outcome) << c.plain[0].difference << " " << c.plain[1].difference;
    EXPECT_EQ(d.entry.row, c.row) << c.plain[0].difference << " " << c.plain[1].difference;
  }
  // Agreement: plain and tone closest on the same row raise both posted
  // thresholds (here 100 x 2); closest on different rows do not.
  for (const auto& [toneRow, outcome] : {std::pair{std::size_t{1}, O::kPosted}, {std::size_t{3}, O::kSimilar}}) {
    MatchResult r;
    r.hits = r.closest[0] = {{1, 150}, {2, 900}};
    r.closest[static_cast<int>(Comparison::kTone)] = {{toneRow, 190}, {4, 900}};
    EXPECT_EQ(Verdict(withRivals, {.agreement = 2.0}).Decide(r).outcome, outcome) << toneRow;
    EXPECT_EQ(Verdict(withRivals).Decide(r).outcome, O::kSimilar) << toneRow;
  }
  // An entry standing alone (at most 0.3 x as far as the closest other row
  // under any comparison) has its posted threshold raised (here 100 x 2);
  // the similar threshold stays.
  const struct {
    std::vector<SearchHit> plain, tone;
    O outcome;
  } alone[] = {
      {{{1, 150}, {2, 600}}, {}, O::kPosted},            // 150 <= 0.3 x 600
      {{{1, 150}, {2, 450}}, {}, O::kSimilar},           // 150 > 0.3 x 450
      {{{1, 150}}, {{3, 400}}, O::kSimilar},             // another row close under another comparison
      {{{1, 150}}, {{1, 160}, {3, 600}}, O::kPosted},    // the same row found again is no rival
      {{{1, 210}, {2, 9000}}, {}, O::kNew},              // past even the raised threshold and the similar one
  };
  for (const auto& c : alone) {
    MatchResult r;
    r.hits = r.closest[0] = c.plain;
    r.closest[static_cast<int>(Comparison::kTone)] = c.tone;
    EXPECT_EQ(Verdict(withRivals, {.aloneRatio = 0.3, .aloneFactor = 2.0}).Decide(r).outcome, c.outcome)
        << c.plain[0].difference << " " << c.plain.size();
    if (c.outcome == O::kPosted) {
      EXPECT_EQ(Verdict(withRivals).Decide(r).outcome, O::kSimilar);
    }
  }
  // Agreement decides only when one comparison is past even its raised
  // threshold (250 >= 200) and the other lies between its own threshold and
  // the raised one: each of the two must be raised, by the other's agreement.
  const struct {
    std::vector<SearchHit> plain, tone;
    O outcome;
    Comparison comparison;
  } agreements[] = {
      {{{1, 250}, {2, 900}}, {{1, 150}, {4, 900}}, O::kPosted, Comparison::kTone},
      {{{1, 150}, {2, 900}}, {{1, 250}, {4, 900}}, O::kPosted, Comparison::kSame},
      {{{1, 250}, {2, 900}}, {{3, 150}, {4, 900}}, O::kSimilar, Comparison::kTone},  // different rows
  };
  for (const auto& c : agreements) {
    MatchResult r;
    r.hits = r.closest[0] = c.plain;
    r.closest[static_cast<int>(Comparison::kTone)] = c.tone;
    const Verdict::Decision d = Verdict(withRivals, {.agreement = 2.0}).Decide(r);
    EXPECT_EQ(d.outcome, c.outcome) << c.plain[0].difference << " " << c.tone[0].difference;
    EXPECT_EQ(d.comparison, c.comparison) << c.plain[0].difference << " " << c.tone[0].difference;
  }
  // Equal shares of the thresholds: the plain comparison wins the tie, and
  // among the others the earlier one.
  for (const Comparison other : {Comparison::kGrayscale, Comparison::kTone}) {
    MatchResult tie;
    tie.hits = tie.closest[0] = {{1, 50}, {2, 900}};
    tie.closest[static_cast<int>(other)] = {{1, 50}, {2, 900}};
    tie.closest[static_cast<int>(Comparison::kReframed)] = {{1, 50}, {2, 900}};
    EXPECT_EQ(Verdict(withRivals).Decide(tie).comparison, Comparison::kSame) << static_cast<int>(other);
    tie.closest[0] = {{1, 60}, {2, 900}};
    EXPECT_EQ(Verdict(withRivals).Decide(tie).comparison, other) << static_cast<int>(other);
  }
  // An empty table: new, with no entry.
  EXPECT_FALSE(verdict.Decide(MatchResult{}).hasEntry);
  EXPECT_EQ(verdict.Decide(MatchResult{}).outcome, O::kNew);
}

}  // namespace
