#include "search/Verdict.h"

#include <algorithm>

#include "infra/TextEncoding.h"

namespace {

// Thresholds from bench/effectiveness/tune.py on the tuning half (see
// BENCHMARKS.md); a threshold of 0 switches a band off.
constexpr Verdict::Rule kSame{80, 300, 1.0, 0.9};
constexpr Verdict::Rule kGrid{10, 40, 0.3, 0.9};
constexpr Verdict::Rule kGray{80, 80, 0.8, 0.9};
constexpr Verdict::Rule kTone{40, 40, 0.6, 0.9};
constexpr Verdict::Rule kReframed{70, 250, 0.4, 0.9};
// When plain and tone find the same entry first, their posted thresholds grow
// by this factor.
constexpr double kAgreement = 3.0;
// Thresholds scale down below this spread of the query's values (the drawn
// set's tuning half: never-posted drawings called posted 2.0 % -> 0.2 %).
constexpr double kFullSpread = 15;
// Even a flat signature says something: its exact match still counts.
constexpr double kLeastShare = 0.25;
// An entry standing alone: its comparison's posted threshold x 2.5 when it is
// at most 0.3 x as far as the closest other row (chosen on the tuning halves
// of both kinds at 25,000 and 1,000,000 rows; 0.4 x 1.3, the tuning's room,
// calls never-posted drawings posted).
constexpr double kAloneRatio = 0.3;
constexpr double kAloneFactor = 2.5;

}  // namespace

Verdict::Verdict() : rules_(TunedRules()), evidence_(TunedEvidence()) {}

const Verdict::Evidence& Verdict::TunedEvidence() {
  static const Evidence kEvidence{kAgreement, kFullSpread, kAloneRatio, kAloneFactor};
  return kEvidence;
}

const Verdict::Rules& Verdict::TunedRules() {
  static const Rules kRules = [] {
    Rules rules;
    const ComparisonSet used = ComparisonSet::Default();
    for (int c = 0; c < kComparisonCount; ++c) {
      rules[c] = used.Has(static_cast<Comparison>(c)) ? kGrid : Verdict::Rule{0, 0, 1.0, 1.0};
    }
    rules[static_cast<int>(Comparison::kSame)] = kSame;
    rules[static_cast<int>(Comparison::kGrayscale)] = kGray;
    rules[static_cast<int>(Comparison::kTone)] = kTone;
    rules[static_cast<int>(Comparison::kReframed)] = kReframed;
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
  const std::vector<SearchHit>& plain = result.closest[static_cast<int>(Comparison::kSame)];
  const std::vector<SearchHit>& tone = result.closest[static_cast<int>(Comparison::kTone)];
  const bool agree = !plain.empty() && !tone.empty() && plain[0].row == tone[0].row;
  const double says =
      evidence_.fullSpread > 0 ? std::clamp(result.spread / evidence_.fullSpread, kLeastShare, 1.0) : 1.0;
  // The winning comparison's difference as a share of its threshold.
  double bestShare = 2;
  for (int c = 0; c < kComparisonCount; ++c) {
    const std::vector<SearchHit>& closest = result.closest[c];
    const Rule& rule = rules_[c];
    if (closest.empty() || !rule.Speaks()) continue;
    const bool agreed = agree && (c == static_cast<int>(Comparison::kSame) || c == static_cast<int>(Comparison::kTone));
    const double similarBelow = static_cast<double>(rule.similarBelow) * says;
    const std::int64_t best = closest[0].difference;
    // The closest other row under any comparison that ran and has a rule.
    std::int64_t rival = -1;
    for (int k = 0; k < kComparisonCount; ++k) {
      if (!rules_[k].Speaks()) continue;
      for (const SearchHit& hit : result.closest[k]) {
        if (hit.row == closest[0].row) continue;
        if (rival < 0 || hit.difference < rival) rival = hit.difference;
        break;
      }
    }
    const auto apart = [&](double ratio) { return rival < 0 || static_cast<double>(best) <= ratio * rival; };
    const bool alone = evidence_.aloneRatio > 0 && apart(evidence_.aloneRatio);
    const double postedBelow = static_cast<double>(rule.postedBelow) * (agreed ? evidence_.agreement : 1.0) *
                               (alone ? evidence_.aloneFactor : 1.0) * says;
    Outcome outcome;
    double share;
    if (static_cast<double>(best) < postedBelow && apart(rule.marginRatio)) {
      outcome = Outcome::kPosted;
      share = static_cast<double>(best) / postedBelow;
    } else if (static_cast<double>(best) < similarBelow && apart(rule.similarMarginRatio)) {
      outcome = Outcome::kSimilar;
      share = 1 + static_cast<double>(best) / similarBelow;  // any posted beats any similar
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
