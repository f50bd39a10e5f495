#include "search/SimilaritySearch.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "support/CacheFileWriter.h"
#include "search/CacheTable.h"
#include "search/ReferenceSearch.h"

void PrintTo(const SearchHit& hit, std::ostream* os) { *os << "{row " << hit.row << ", " << hit.difference << "}"; }

namespace {

using Kernel = SimilaritySearch::Kernel;

class SimilaritySearchTest : public ::testing::Test {
 protected:
  void Add(const ImageCache::Colours& signature) {
    table_.Append(std::to_string(rows_.size()), "t", "n", signature);
    rows_.push_back(signature);
  }

  // Rows of random values drawn from [low, high]; a narrow range makes ties.
  void AddRandom(size_t count, int low, int high) {
    std::uniform_int_distribution<int> value(low, high);
    for (size_t i = 0; i < count; ++i) {
      ImageCache::Colours c;
      for (auto& v : c) v = value(random_);
      Add(c);
    }
  }

  std::vector<SearchHit> Search(const ImageCache::Colours& query, Kernel kernel = Kernel::kAuto) {
    return SimilaritySearch(kernel).Run(table_, query);
  }

  std::vector<size_t> RowsFound(const ImageCache::Colours& query) {
    std::vector<size_t> found;
    for (const SearchHit& hit : Search(query)) found.push_back(hit.row);
    return found;
  }

  // Every kernel this processor runs must agree with the oracle.
  void ExpectAllKernelsMatchReference(const ImageCache::Colours& query) {
    const std::vector<SearchHit> expected = ReferenceRank(rows_, query);
    for (const Kernel kernel : {Kernel::kAuto, Kernel::kScalar, Kernel::kSse2, Kernel::kAvx2, Kernel::kAvxVnni}) {
      if (!SimilaritySearch::Supports(kernel)) continue;
      EXPECT_EQ(expected, Search(query, kernel)) << "kernel " << static_cast<int>(kernel);
    }
  }

  CacheTable table_;
  std::vector<ImageCache::Colours> rows_;
  std::mt19937 random_{42};
};

TEST_F(SimilaritySearchTest, FewerRowsThanHitsAreAllListedAscending) {
  for (const int v : {9, 3, 7, 1, 5}) Add(Uniform(v));
  EXPECT_EQ((std::vector<size_t>{3, 1, 4, 2, 0}), RowsFound(Uniform(0)));
  EXPECT_EQ(27, Search(Uniform(0))[0].difference);
}

TEST_F(SimilaritySearchTest, EqualDifferencesKeepTheFirstRowsInTableOrder) {
  for (int i = 0; i < 25; ++i) Add(Uniform(4));
  std::vector<size_t> first20(20);
  for (size_t i = 0; i < 20; ++i) first20[i] = i;
  EXPECT_EQ(first20, RowsFound(Uniform(0)));
}

TEST_F(SimilaritySearchTest, IdenticalRowComesFirstAfterEarlierExactMatches) {
  AddRandom(30, 50, 200);
  Add(Uniform(10));
  Add(Uniform(0));
  Add(Uniform(0));
  const std::vector<SearchHit> hits = Search(Uniform(0));
  EXPECT_EQ((SearchHit{31, 0}), hits[0]);
  EXPECT_EQ((SearchHit{32, 0}), hits[1]);
  EXPECT_EQ((SearchHit{30, 270}), hits[2]);
}

TEST_F(SimilaritySearchTest, OtherHitCountsKeepTheSameOrderRule) {
  AddRandom(3000, 100, 110);
  const ImageCache::Colours query = Uniform(105);
  for (const size_t count : {size_t{1}, size_t{7}, size_t{250}}) {
    for (const Kernel kernel : {Kernel::kScalar, Kernel::kAuto}) {
      EXPECT_EQ(ReferenceRank(rows_, query, count), SimilaritySearch(kernel, count).Run(table_, query))
          << count << " hits, kernel " << static_cast<int>(kernel);
    }
  }
  EXPECT_EQ(SimilaritySearch(Kernel::kAuto, 0).Run(table_, query).size(), 1u);
}

TEST_F(SimilaritySearchTest, EmptyTableGivesNoHits) { EXPECT_TRUE(Search(Uniform(0)).empty()); }

TEST_F(SimilaritySearchTest, PackedScanMatchesReferenceWithManyTies) {
  // Sizes around the eight-row groups and the thousand-row blocks.
  for (const size_t count : {1u, 7u, 8u, 9u, 999u, 1001u, 4003u}) {
    AddRandom(count, 0, 2);
    ExpectAllKernelsMatchReference(Uniform(1));
  }
}

TEST_F(SimilaritySearchTest, PackedScanMatchesReferenceOnFullRange) {
  AddRandom(20000, 0, 255);
  ExpectAllKernelsMatchReference(Uniform(0));
  ExpectAllKernelsMatchReference(Uniform(255));
  ExpectAllKernelsMatchReference(rows_[12345]);
}

TEST_F(SimilaritySearchTest, ValuesOutsideByteRangeAreRankedExactly) {
  AddRandom(1500, 0, 255);
  ImageCache::Colours odd = Uniform(0);
  odd[0] = -40;
  odd[26] = 300;
  Add(odd);
  AddRandom(1500, -3, 3);
  ASSERT_EQ(CacheTable::Layout::kInt32, table_.GetLayout());
  ExpectAllKernelsMatchReference(Uniform(0));
  ExpectAllKernelsMatchReference(odd);
  EXPECT_EQ((SearchHit{1500, 0}), Search(odd)[0]);
}

TEST_F(SimilaritySearchTest, QueryOutsideByteRangeIsRankedExactlyOnPackedTable) {
  AddRandom(3000, 0, 255);
  ImageCache::Colours query = Uniform(128);
  query[5] = -1000;
  query[6] = 100000;
  ExpectAllKernelsMatchReference(query);
}

TEST_F(SimilaritySearchTest, ExtremeValuesDoNotOverflowTheDifference) {
  Add(Uniform(std::numeric_limits<std::int32_t>::max()));
  Add(Uniform(std::numeric_limits<std::int32_t>::min()));
  Add(Uniform(5));
  const std::vector<SearchHit> hits = Search(Uniform(0));
  ASSERT_EQ(3u, hits.size());
  EXPECT_EQ((SearchHit{2, 135}), hits[0]);
  EXPECT_EQ((SearchHit{0, 27LL * std::numeric_limits<std::int32_t>::max()}), hits[1]);
  EXPECT_EQ((SearchHit{1, -27LL * std::numeric_limits<std::int32_t>::min()}), hits[2]);
}

TEST_F(SimilaritySearchTest, ProgressIsReportedAtEveryThousandRows) {
  AddRandom(3000, 0, 255);
  std::vector<size_t> reported;
  SimilaritySearch().Run(table_, Uniform(0), [&](size_t done) { reported.push_back(done); });
  EXPECT_EQ((std::vector<size_t>{1000, 2000, 3000}), reported);
  AddRandom(500, 0, 255);
  reported.clear();
  SimilaritySearch().Run(table_, Uniform(0), [&](size_t done) { reported.push_back(done); });
  EXPECT_EQ((std::vector<size_t>{1000, 2000, 3000}), reported);
}

}  // namespace
