#include "control/Confirmation.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "control/DetailLikeness.h"
#include "infra/TextEncoding.h"
#include "search/CacheTable.h"

std::vector<Confirmation::Candidate> Confirmation::Candidates(const MatchResult& match,
                                                              const Verdict::Decision& decision,
                                                              const Verdict::Rules& rules) {
  // Each row once, under the comparison where it lies the smallest share of
  // that comparison's similar threshold away.
  std::map<std::size_t, std::pair<double, Candidate>> rows;
  for (int c = 0; c < kComparisonCount; ++c) {
    const std::int64_t below = std::max(rules[c].postedBelow, rules[c].similarBelow);
    if (below <= 0) continue;
    for (const SearchHit& hit : match.closest[c]) {
      const double share = static_cast<double>(hit.difference) / static_cast<double>(below);
      if (share >= kReach) continue;
      auto [it, added] = rows.try_emplace(hit.row, share, Candidate{hit, static_cast<Comparison>(c)});
      if (!added && share < it->second.first) it->second = {share, Candidate{hit, static_cast<Comparison>(c)}};
    }
  }
  std::vector<std::pair<double, Candidate>> ranked;
  for (const auto& [row, entry] : rows) ranked.push_back(entry);
  std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<Candidate> out;
  if (decision.outcome != Verdict::Outcome::kNew && decision.hasEntry) {
    out.push_back({decision.entry, decision.comparison});
  }
  for (const auto& [share, candidate] : ranked) {
    if (out.size() >= kMaxCandidates) break;
    if (!out.empty() && out.front().hit.row == candidate.hit.row) continue;
    out.push_back(candidate);
  }
  return out;
}

namespace {

// How far apart two pictures lie at the 3 x 3 grid the search compares (on
// the plain difference's scale, from the detail's thirds).
double GridDistance(const PictureDetail& query, const PictureDetail& turned) {
  constexpr int kSide = PictureDetail::kSide;
  double sum = 0;
  for (int cell = 0; cell < 9; ++cell) {
    const int x0 = cell % 3 * kSide / 3, x1 = (cell % 3 + 1) * kSide / 3;
    const int y0 = cell / 3 * kSide / 3, y1 = (cell / 3 + 1) * kSide / 3;
    for (int c = 0; c < 3; ++c) {
      double a = 0, b = 0;
      for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
          a += query.At(x, y, c);
          b += turned.At(x, y, c);
        }
      }
      sum += std::abs(a - b) / ((x1 - x0) * (y1 - y0));
    }
  }
  return sum;
}

}  // namespace

double Confirmation::Likeness(const PictureDetail& query, const PictureDetail& stored, Comparison comparison) {
  // The orientation the comparison found; and the others the search
  // compares that the 3 x 3 grid can hardly tell from it: a picture nearly
  // symmetric at that grid is often found unturned though it was mirrored.
  // The same for the picture without a white frame round it, if it has one.
  GridTransform found = GridTransform::kIdentity;
  TransformOf(comparison, &found);
  const ComparisonSet searched = ComparisonSet::Default();
  std::vector<PictureDetail> seen;
  for (const PictureDetail* picture : {&query, query.Unframed()}) {
    if (picture == nullptr) continue;
    const auto turnedBack = [picture](GridTransform t) {
      return t == GridTransform::kIdentity ? *picture : picture->Transformed(InverseOf(t));
    };
    const PictureDetail unturned = turnedBack(found);
    seen.push_back(unturned);
    for (int c = 0; c < kComparisonCount; ++c) {
      GridTransform transform = GridTransform::kIdentity;
      const auto other = static_cast<Comparison>(c);
      if (!searched.Has(other) || !TransformOf(other, &transform) || transform == found) continue;
      const PictureDetail turned = turnedBack(transform);
      if (GridDistance(turned, unturned) < kAlikeTurned) seen.push_back(turned);
    }
  }
  return DetailLikeness::Of(seen, stored, query.IsGray());
}

bool Confirmation::Compare(const PictureDetail& query, const MatchResult& match, const Verdict::Decision& decision,
                           const CacheTable& table, const Source& source, const std::atomic<bool>* running,
                           double stopAt, std::vector<Compared>* compared, std::string* message) {
  compared->clear();
  for (const Candidate& candidate : Candidates(match, decision)) {
    if (running != nullptr && !running->load()) return false;
    Compared& one = compared->emplace_back();
    one.candidate = candidate;
    StoredPicture stored = source(std::string(table.Id(candidate.hit.row)));
    if (!stored.ok) {
      if (message->empty()) *message = stored.message;
      continue;
    }
    one.reached = true;
    one.likeness = Likeness(query, stored.detail, candidate.comparison);
    if (one.likeness >= stopAt) break;
  }
  return true;
}

Confirmation::Result Confirmation::Judge(const Verdict::Decision& decision, const std::vector<Compared>& compared,
                                         const Thresholds& thresholds) {
  Result result;
  result.decision = decision;
  if (compared.empty()) return result;
  const bool judged = decision.outcome != Verdict::Outcome::kNew;
  // The verdict's own entry's likeness, when compared: a likeness runs from
  // -1 (a picture unlike it) to 1, so none of its values marks "not compared".
  std::optional<double> entryLikeness;
  const Compared* best = nullptr;
  bool reached = false;
  for (const Compared& one : compared) {
    reached = reached || one.reached;
    if (!one.reached || one.likeness == DetailLikeness::kCannotTell) continue;
    if (judged && one.candidate.hit.row == decision.entry.row) entryLikeness = one.likeness;
    if (best == nullptr || one.likeness > best->likeness) best = &one;
  }
  if (best == nullptr) {
    result.state = reached ? State::kUnchanged : State::kUnreachable;
    return result;
  }
  result.likeness = best->likeness;
  if (best->likeness >= thresholds.confirmAt) {
    result.state = State::kConfirmed;
    result.decision.outcome = Verdict::Outcome::kPosted;
    result.decision.hasEntry = true;
    result.decision.entry = best->candidate.hit;
    result.decision.comparison = best->candidate.comparison;
    return result;
  }
  result.state = State::kUnchanged;
  if (judged && entryLikeness) {
    const bool keep = *entryLikeness >= (decision.outcome == Verdict::Outcome::kPosted ? thresholds.keepAt
                                                                                        : thresholds.similarAt);
    const Verdict::Outcome outcome = keep                                        ? decision.outcome
                                     : *entryLikeness >= thresholds.similarAt ? Verdict::Outcome::kSimilar
                                                                              : Verdict::Outcome::kNew;
    if (outcome != decision.outcome) {
      result.state = State::kDowngraded;
      result.decision.outcome = outcome;
    }
  }
  return result;
}

Confirmation::Result Confirmation::Run(const PictureDetail& query, const MatchResult& match,
                                       const Verdict::Decision& decision, const CacheTable& table,
                                       const Source& source, const std::atomic<bool>* running) {
  std::vector<Compared> compared;
  std::string message;
  if (!Compare(query, match, decision, table, source, running, kConfirmAt, &compared, &message)) {
    Result stopped;
    stopped.decision = decision;
    return stopped;
  }
  Result result = Judge(decision, compared, {kConfirmAt, kKeepAt, kSimilarAt});
  if (result.state == State::kUnreachable) result.message = message;
  return result;
}

std::string_view Confirmation::Word(State state) {
  switch (state) {
    case State::kConfirmed:
      return "confirmed";
    case State::kDowngraded:
      return "downgraded";
    case State::kUnchanged:
      return "unchanged";
    case State::kUnreachable:
      return "unreachable";
    case State::kNotNeeded:
      break;
  }
  return "";
}

std::string Confirmation::Label(const Result& result) {
  static const SjisText kConfirmed{u8"（確認済み）"}, kDowngraded{u8"（サイトの画像と異なる）"},
      kUnchanged{u8"（サイトの画像と照合）"}, kUnreachable{u8"（サイトの画像を取得できず未確認）"};
  const std::string& verdict = Verdict::Label(result.decision.outcome);
  switch (result.state) {
    case State::kConfirmed:
      return verdict + kConfirmed;
    case State::kDowngraded:
      return verdict + kDowngraded;
    case State::kUnchanged:
      return verdict + kUnchanged;
    case State::kUnreachable:
      return verdict + kUnreachable;
    case State::kNotNeeded:
      break;
  }
  return verdict;
}
