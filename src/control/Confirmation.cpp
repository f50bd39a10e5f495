#include "control/Confirmation.h"

#include <algorithm>
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

double Confirmation::Likeness(const PictureDetail& query, const PictureDetail& stored, Comparison comparison) {
  GridTransform transform = GridTransform::kIdentity;
  TransformOf(comparison, &transform);
  const PictureDetail turned =
      transform == GridTransform::kIdentity ? query : query.Transformed(InverseOf(transform));
  return DetailLikeness::Of(turned, stored, query.IsGray());
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
