#include "search/MatchSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

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
  // An empty table: new, with no entry.
  EXPECT_FALSE(verdict.Decide(MatchResult{}).hasEntry);
  EXPECT_EQ(verdict.Decide(MatchResult{}).outcome, O::kNew);
}

}  // namespace
