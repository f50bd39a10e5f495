#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "search/Comparison.h"
#include "search/MatchSearch.h"

// The answer to "has this picture been posted already?" from one MatchSearch
// result.
//
// A comparison speaks for its closest row when that row's difference is below
// the comparison's threshold and stands apart from the closest other row
// under any comparison that ran with a rule (best <= ratio x that row's difference; none
// counts as far): an entry found again by another comparison is no rival, a
// different entry close under any comparison is. "posted" needs the posted
// threshold and marginRatio; "similar" the similar threshold and
// similarMarginRatio (two entries equally close single out neither). Among the
// comparisons that speak, the one whose difference is the smallest share of
// its threshold wins; plain ties win. Agreement counts as evidence: when the
// plain and the tone comparison find the same row first, that row's posted
// thresholds under both are `agreement` times higher. A signature that
// says little needs a closer match: every threshold is scaled by
// min(1, the query's spread / `fullSpread`), at least a quarter (0: no
// scaling), so a flat or
// mostly white picture is not called posted at a difference that would be
// telling for a picture with contrast.
// The thresholds come from the tuning half of the effectiveness benchmark
// (bench/effectiveness/), never from the pictures it reports on.
class Verdict {
 public:
  enum class Outcome { kPosted, kSimilar, kNew };

  struct Rule {
    std::int64_t postedBelow = 0;   // posted when best < this (and the margin holds)
    std::int64_t similarBelow = 0;  // similar when best < this
    double marginRatio = 1.0;       // posted needs best <= marginRatio x closest other row
    double similarMarginRatio = 1.0;  // similar needs best <= similarMarginRatio x closest other row
  };
  using Rules = std::array<Rule, kComparisonCount>;

  struct Decision {
    Outcome outcome = Outcome::kNew;
    // The entry the outcome is about: the winning comparison's closest row,
    // or for kNew the plain closest row; absent when the table is empty.
    bool hasEntry = false;
    SearchHit entry;
    Comparison comparison = Comparison::kSame;
  };

  // The tuned rules (or the given ones, for tests and tuning).
  Verdict();
  explicit Verdict(const Rules& rules, double agreement = 1.0, double fullSpread = 0)
      : rules_(rules), agreement_(agreement), fullSpread_(fullSpread) {}

  Decision Decide(const MatchResult& result) const;

  static const Rules& TunedRules();
  static double TunedAgreement();
  static double TunedFullSpread();
  // "posted", "similar", "new": the words of `check`.
  static std::string_view Word(Outcome outcome);
  // "投稿済み", "似た画像あり", "見つかりませんでした", Shift-JIS.
  static const std::string& Label(Outcome outcome);

 private:
  Rules rules_;
  double agreement_;
  double fullSpread_;
};
