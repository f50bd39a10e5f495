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
// telling for a picture with contrast. An entry that stands alone in its
// neighbourhood counts as evidence too: when a comparison's closest row is at
// most `aloneRatio` times as far as the closest other row, that comparison's
// posted threshold is `aloneFactor` times higher (an edit that moves the
// query far from its entry still leaves it far closer to that entry than to
// any other, while an unrelated picture's closest rows crowd together).
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

    // A comparison without a threshold never speaks, not even as a rival.
    bool Speaks() const { return postedBelow > 0 || similarBelow > 0; }
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

  // What counts beyond each comparison's own rule (the defaults: nothing).
  struct Evidence {
    double agreement = 1.0;   // plain and tone first on the same row: their posted thresholds x this
    double fullSpread = 0;    // thresholds x min(1, spread / this), at least a quarter; 0: off
    double aloneRatio = 0;    // best <= this x the closest other row: posted threshold x aloneFactor; 0: off
    double aloneFactor = 1.0;
  };

  // The tuned rules (or the given ones, for tests and tuning).
  Verdict();
  explicit Verdict(const Rules& rules) : rules_(rules) {}
  Verdict(const Rules& rules, const Evidence& evidence) : rules_(rules), evidence_(evidence) {}

  Decision Decide(const MatchResult& result) const;

  static const Rules& TunedRules();
  static const Evidence& TunedEvidence();
  // "posted", "similar", "new": the words of `check`.
  static std::string_view Word(Outcome outcome);
  // "投稿済み", "似た画像あり", "見つかりませんでした", Shift-JIS.
  static const std::string& Label(Outcome outcome);

 private:
  Rules rules_;
  Evidence evidence_;
};
