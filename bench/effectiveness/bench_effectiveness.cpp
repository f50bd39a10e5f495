// Effectiveness of the matching and the verdict on the data set that
// bench/effectiveness/prepare.py makes. Not a Google Benchmark: one run that
// prints Markdown tables (see bench/effectiveness/README.md).
//
// Usage: bench_effectiveness DATA_DIR [FEATURES_OUT]
//   DATA_DIR/database.tsv  id, title, poster, 27 values per stored entry
//   DATA_DIR/queries.tsv   half, set, edit, group, expected id, path, 27 values
//   FEATURES_OUT           per query and comparison: the two closest rows'
//                          differences and ids (for tune.py)
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "search/CacheTable.h"
#include "search/Comparison.h"
#include "search/MatchSearch.h"
#include "search/Verdict.h"

namespace {

struct Query {
  std::string half, set, edit, group, expected;
  ImageCache::Colours values{};
  MatchResult result;
};

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  std::string field;
  while (std::getline(in, field, '\t')) fields.push_back(field);
  if (!line.empty() && line.back() == '\t') fields.emplace_back();
  return fields;
}

bool ReadValues(const std::vector<std::string>& fields, std::size_t first, ImageCache::Colours* values) {
  if (fields.size() < first + ImageCache::kValueCount) return false;
  for (int v = 0; v < ImageCache::kValueCount; ++v) (*values)[v] = std::stoi(fields[first + v]);
  return true;
}

double Share(int part, int whole) { return whole ? 100.0 * part / whole : 0; }

// The verdicts on a set of queries, counted.
struct Score {
  int n = 0, postedRight = 0, postedWrong = 0, similarRight = 0, similarOther = 0, fresh = 0;

  void Add(const Verdict::Decision& d, const CacheTable& table, const std::string& expected) {
    ++n;
    const bool right = d.hasEntry && !expected.empty() && table.Id(d.entry.row) == expected;
    switch (d.outcome) {
      case Verdict::Outcome::kPosted:
        ++(right ? postedRight : postedWrong);
        break;
      case Verdict::Outcome::kSimilar:
        ++(right ? similarRight : similarOther);
        break;
      case Verdict::Outcome::kNew:
        ++fresh;
        break;
    }
  }
};

void PrintScoreRow(const std::string& name, const Score& s) {
  std::printf("| %s | %d | %.1f %% | %.1f %% | %.1f %% | %.1f %% | %.1f %% | %.1f %% |\n", name.c_str(), s.n,
              Share(s.postedRight, s.n), Share(s.postedWrong, s.n), Share(s.similarRight, s.n),
              Share(s.similarOther, s.n), Share(s.fresh, s.n), Share(s.postedRight + s.similarRight, s.n));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_effectiveness DATA_DIR [FEATURES_OUT]\n");
    return 2;
  }
  const std::string dir = argv[1];
  CacheTable table;
  {
    std::ifstream in(dir + "/database.tsv");
    std::string line;
    while (std::getline(in, line)) {
      const auto f = Split(line);
      ImageCache::Colours values;
      if (ReadValues(f, 3, &values)) table.Append(f[0], f[1], f[2], values);
    }
  }
  std::vector<Query> queries;
  {
    std::ifstream in(dir + "/queries.tsv");
    std::string line;
    while (std::getline(in, line)) {
      const auto f = Split(line);
      if (f.size() < 6) continue;
      Query q;
      q.half = f[0];
      q.set = f[1];
      q.edit = f[2];
      q.group = f[3];
      q.expected = f[4];
      if (ReadValues(f, 6, &q.values)) queries.push_back(std::move(q));
    }
  }
  if (table.RowCount() == 0 || queries.empty()) {
    std::fprintf(stderr, "bench_effectiveness: no data in %s\n", dir.c_str());
    return 1;
  }
  // All comparisons run, so that the tables show what each one would add;
  // the verdict below uses those of ComparisonSet::Default() only.
  const MatchSearch search(ComparisonSet::All());
  for (Query& q : queries) q.result = search.Run(table, q.values);

  if (argc > 2) {
    std::ofstream out(argv[2]);
    for (const Query& q : queries) {
      out << q.half << '\t' << q.set << '\t' << q.edit << '\t' << q.group << '\t' << q.expected;
      for (int c = 0; c < kComparisonCount; ++c) {
        const auto& hits = q.result.closest[c];
        for (std::size_t k = 0; k < 2; ++k) {
          if (k < hits.size()) {
            out << '\t' << hits[k].difference << '\t' << table.Id(hits[k].row);
          } else {
            out << "\t-1\t";
          }
        }
      }
      out << '\n';
    }
  }

  int posted = 0, never = 0;
  for (const Query& q : queries) ++(q.set == "posted" ? posted : never);
  std::printf("Database: %zu entries; queries: %d edited copies of posted pictures, %d never-posted pictures "
              "and their copies.\n\n",
              table.RowCount(), posted, never);

  // Per edit, both halves: where the plain search puts the right entry, and
  // which comparison finds it first.
  std::printf("| edit | group | copies | plain first | plain among 20 | median plain difference | "
              "right entry first by its comparison | median difference there |\n|---|---|---|---|---|---|---|---|\n");
  std::map<std::string, std::vector<const Query*>> byEdit;
  std::vector<std::string> order;
  for (const Query& q : queries) {
    if (q.set != "posted") continue;
    if (!byEdit.count(q.edit)) order.push_back(q.edit);
    byEdit[q.edit].push_back(&q);
  }
  for (const std::string& edit : order) {
    const auto& list = byEdit[edit];
    int first = 0, among = 0, byOwn = 0;
    std::vector<std::int64_t> plainDiffs, ownDiffs;
    std::map<Comparison, int> used;
    for (const Query* q : list) {
      const auto& hits = q->result.hits;
      for (std::size_t i = 0; i < hits.size(); ++i) {
        if (table.Id(hits[i].row) == q->expected) {
          ++among;
          if (i == 0) ++first;
          break;
        }
      }
      if (!hits.empty()) plainDiffs.push_back(hits[0].difference);
      // The comparison with the smallest difference, and whether its row is right.
      int bestC = -1;
      for (int c = 0; c < kComparisonCount; ++c) {
        const auto& h = q->result.closest[c];
        if (!h.empty() && (bestC < 0 || h[0].difference < q->result.closest[bestC][0].difference)) bestC = c;
      }
      if (bestC >= 0 && table.Id(q->result.closest[bestC][0].row) == q->expected) {
        ++byOwn;
        ++used[static_cast<Comparison>(bestC)];
        ownDiffs.push_back(q->result.closest[bestC][0].difference);
      }
    }
    const auto median = [](std::vector<std::int64_t> v) -> long long {
      if (v.empty()) return -1;
      std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
      return v[v.size() / 2];
    };
    std::string how;
    for (const auto& [c, n] : used) how += (how.empty() ? "" : ", ") + std::string(ComparisonWord(c)) + " " + std::to_string(n);
    std::printf("| %s | %s | %zu | %.1f %% | %.1f %% | %lld | %.1f %% (%s) | %lld |\n", edit.c_str(),
                list.front()->group.c_str(), list.size(), Share(first, list.size()), Share(among, list.size()),
                median(plainDiffs), Share(byOwn, list.size()), how.c_str(), median(ownDiffs));
  }

  // Each comparison's gain and false alarms: the verdict with and without it.
  const Verdict::Rules tuned = Verdict::TunedRules();
  // Every comparison on: the grid ones the program leaves out get the rule of
  // the grid ones it keeps.
  Verdict::Rules allOn = tuned;
  for (int c = 1; c < kGridTransformCount; ++c) {
    if (allOn[c].postedBelow == 0) allOn[c] = tuned[static_cast<int>(Comparison::kMirrored)];
  }
  const auto scoreAll = [&](const Verdict& verdict, const std::string& half, const std::string& group) {
    Score s;
    for (const Query& q : queries) {
      if (q.half == half && (group == "*" ? q.set == "posted" : q.group == group))
        s.Add(verdict.Decide(q.result), table, q.expected);
    }
    return s;
  };
  std::printf("\nEach comparison on the held-out half, with every comparison on: what the verdict loses "
              "without it.\n\n"
              "| comparison | edited copies called posted, right id | with the right id, posted or similar | "
              "never-posted called posted | never-posted called similar | posted with a wrong id |\n"
              "|---|---|---|---|---|---|\n");
  const double agreement = Verdict::TunedAgreement();
  const Score full = scoreAll(Verdict(allOn, agreement), "heldout", "*");
  const Score fullNever = scoreAll(Verdict(allOn, agreement), "heldout", "never");
  for (int c = 1; c < kComparisonCount; ++c) {
    Verdict::Rules without = allOn;
    without[c] = Verdict::Rule{0, 0, 1.0, 1.0};
    const Score s = scoreAll(Verdict(without, agreement), "heldout", "*");
    const Score n = scoreAll(Verdict(without, agreement), "heldout", "never");
    std::printf("| %s | %+d | %+d | %+d | %+d | %+d |\n", std::string(ComparisonWord(static_cast<Comparison>(c))).c_str(),
                full.postedRight - s.postedRight, (full.postedRight + full.similarRight) - (s.postedRight + s.similarRight),
                fullNever.postedWrong - n.postedWrong, fullNever.similarOther - n.similarOther,
                full.postedWrong - s.postedWrong);
  }

  // The verdict table.
  for (const std::string half : {"tuning", "heldout"}) {
    std::printf("\nVerdict, %s half.\n\n| queries | n | posted, right id | posted, wrong id | similar, right id | "
                "similar, other id | new | right id, posted or similar |\n|---|---|---|---|---|---|---|---|\n",
                half == "tuning" ? "tuning" : "held-out");
    const Verdict verdict(tuned, agreement);
    for (const std::string group : {"mild", "hard", "extra", "never"}) {
      PrintScoreRow(group == "never" ? "never posted" : group + " edits", scoreAll(verdict, half, group));
    }
    Score edited;
    for (const std::string group : {"mild", "hard"}) {
      const Score s = scoreAll(verdict, half, group);
      edited.n += s.n;
      edited.postedRight += s.postedRight;
      edited.postedWrong += s.postedWrong;
      edited.similarRight += s.similarRight;
      edited.similarOther += s.similarOther;
      edited.fresh += s.fresh;
    }
    PrintScoreRow("all mild and hard edits", edited);
  }
  return 0;
}
