#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "control/PictureDetail.h"
#include "search/MatchSearch.h"
#include "search/Verdict.h"

class CacheTable;

// The verdict checked against the site's own pictures of the few entries it
// could be about. The 27 stored values cannot tell every look-alike apart;
// the pictures can (DetailLikeness).
//
// Candidates: the rows that the comparisons with a rule find closest, whose
// difference is within kReach times the comparison's similar threshold (the
// verdict's own entry first when it is posted or similar), at most
// kMaxCandidates of them. Each is compared in the orientation its
// comparison found (a mirrored match turned back; a gray query in gray
// only) and in the other orientations the search compares that the 3 x 3
// grid can hardly tell from it (within kAlikeTurned). Then:
// - a candidate at least kConfirmAt alike: posted with that entry, confirmed;
// - otherwise a posted or similar verdict whose entry's picture was
//   compared stands while that picture is at least kKeepAt alike (posted) or
//   kSimilarAt alike (similar); else it is downgraded: to similar while the
//   entry is at least kSimilarAt alike, else to new;
// - only flat pictures (nothing to tell them apart by): the verdict stands;
//   a flat picture against one with detail is unlike (DetailLikeness);
// - no candidate's picture to be had: the verdict stands, unreachable.
// The thresholds come from the tuning half of the effectiveness benchmark.
class Confirmation {
 public:
  static constexpr std::size_t kMaxCandidates = 3;
  static constexpr double kReach = 1.5;
  static constexpr double kConfirmAt = 0.95;
  static constexpr double kKeepAt = 0.8;
  static constexpr double kSimilarAt = 0.75;
  // Two orientations of a picture closer than this at the 3 x 3 grid (the
  // plain difference's scale; the plain comparison's posted threshold is 80)
  // may have been taken for one another by the search.
  static constexpr double kAlikeTurned = 120;

  enum class State { kNotNeeded, kConfirmed, kDowngraded, kUnchanged, kUnreachable };

  struct Candidate {
    SearchHit hit;
    Comparison comparison = Comparison::kSame;
  };
  // One entry's picture as the site gives it, reduced; when !ok, a one-line
  // reason (Shift-JIS) in `message`.
  struct StoredPicture {
    bool ok = false;
    PictureDetail detail;
    std::string message;
  };
  // Gives an entry's picture by its id (a fetch from the site, or a local
  // file for the benchmark).
  using Source = std::function<StoredPicture(const std::string& id)>;

  struct Result {
    State state = State::kNotNeeded;
    Verdict::Decision decision;  // the verdict after confirmation
    double likeness = -1;        // of the best candidate compared (-1: none)
    std::string message;         // why nothing could be compared (Shift-JIS)
  };

  // One candidate after its picture was asked for.
  struct Compared {
    Candidate candidate;
    bool reached = false;  // its picture was had
    double likeness = -1;
  };
  struct Thresholds {
    double confirmAt;
    double keepAt;
    double similarAt;
  };

  static std::vector<Candidate> Candidates(const MatchResult& match, const Verdict::Decision& decision,
                                           const Verdict::Rules& rules = Verdict::TunedRules());

  // How alike the query is to a stored picture found by `comparison`.
  static double Likeness(const PictureDetail& query, const PictureDetail& stored, Comparison comparison);

  // The candidates' pictures compared with the query, in order, stopping
  // after one at least `stopAt` alike (no more fetches than the answer
  // needs); false when `running` (may be null) turned false before the end.
  // The first failure's reason goes to `message`.
  static bool Compare(const PictureDetail& query, const MatchResult& match, const Verdict::Decision& decision,
                      const CacheTable& table, const Source& source, const std::atomic<bool>* running,
                      double stopAt, std::vector<Compared>* compared, std::string* message);
  // The verdict after the comparisons.
  static Result Judge(const Verdict::Decision& decision, const std::vector<Compared>& compared,
                      const Thresholds& thresholds);

  // Compare, then Judge; when stopped, the decision as it was (kNotNeeded).
  static Result Run(const PictureDetail& query, const MatchResult& match, const Verdict::Decision& decision,
                    const CacheTable& table, const Source& source, const std::atomic<bool>* running = nullptr);

  // "confirmed", "downgraded", "unchanged", "unreachable", "" (not needed).
  static std::string_view Word(State state);
  // The verdict's label with the confirmation's state, Shift-JIS:
  // "投稿済み（確認済み）", "似た画像あり（サイトの画像と照合）", ...
  static std::string Label(const Result& result);
};
