#include "search/Verdict.h"

#include "infra/TextEncoding.h"

namespace {

// Thresholds from bench/effectiveness/tune.py on the tuning half (see
// BENCHMARKS.md); a threshold of 0 switches a comparison off.
constexpr Verdict::Rule kSame{100, 100, 0.6};
constexpr Verdict::Rule kGrid{10, 10, 1.0};
constexpr Verdict::Rule kGray{120, 120, 0.6};
constexpr Verdict::Rule kTone{60, 60, 0.3};

}  // namespace

Verdict::Verdict() : rules_(TunedRules()) {}

const Verdict::Rules& Verdict::TunedRules() {
  static const Rules kRules = [] {
    Rules rules;
    const ComparisonSet used = ComparisonSet::Default();
    for (int c = 0; c < kComparisonCount; ++c) {
      rules[c] = used.Has(static_cast<Comparison>(c)) ? kGrid : Verdict::Rule{0, 0, 1.0};
    }
    rules[static_cast<int>(Comparison::kSame)] = kSame;
    rules[static_cast<int>(Comparison::kGrayscale)] = kGray;
    rules[static_cast<int>(Comparison::kTone)] = kTone;
    return rules;
  }();
  return kRules;
}

Verdict::Decision Verdict::Decide(const MatchResult& result) const {
  Decision decision;
  if (!result.hits.empty()) {
    decision.hasEntry = true;
    decision.entry = result.hits.front();
  }
  // The winning comparison's difference as a share of its threshold.
  double bestShare = 2;
  for (int c = 0; c < kComparisonCount; ++c) {
    const std::vector<SearchHit>& closest = result.closest[c];
    const Rule& rule = rules_[c];
    if (closest.empty()) continue;
    const std::int64_t best = closest[0].difference;
    const bool apart = closest.size() < 2 || static_cast<double>(best) <= rule.marginRatio * closest[1].difference;
    Outcome outcome;
    double share;
    if (best < rule.postedBelow && apart) {
      outcome = Outcome::kPosted;
      share = static_cast<double>(best) / rule.postedBelow;
    } else if (best < rule.similarBelow) {
      outcome = Outcome::kSimilar;
      share = 1 + static_cast<double>(best) / rule.similarBelow;  // any posted beats any similar
    } else {
      continue;
    }
    if (share < bestShare) {
      bestShare = share;
      decision.outcome = outcome;
      decision.hasEntry = true;
      decision.entry = closest[0];
      decision.comparison = static_cast<Comparison>(c);
    }
  }
  return decision;
}

std::string_view Verdict::Word(Outcome outcome) {
  switch (outcome) {
    case Outcome::kPosted:
      return "posted";
    case Outcome::kSimilar:
      return "similar";
    case Outcome::kNew:
      break;
  }
  return "new";
}

const std::string& Verdict::Label(Outcome outcome) {
  static const SjisText kPosted{u8"投稿済み"}, kSimilar{u8"似た画像あり"}, kNew{u8"見つかりませんでした"};
  switch (outcome) {
    case Outcome::kPosted:
      return kPosted;
    case Outcome::kSimilar:
      return kSimilar;
    case Outcome::kNew:
      break;
  }
  return kNew;
}
