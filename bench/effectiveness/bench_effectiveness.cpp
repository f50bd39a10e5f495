// Effectiveness of the matching and the verdict on the data set that
// bench/effectiveness/prepare.py makes. Not a Google Benchmark: one run that
// prints Markdown tables (see bench/effectiveness/README.md).
//
// Usage: bench_effectiveness DATA_DIR [FEATURES_OUT] [--features FEATURES_OUT] [--rows N] [--confirm]
//   DATA_DIR/database.tsv  id, title, poster, 27 values per stored entry
//   DATA_DIR/queries.tsv   half, set, edit, group, expected id, path, 27 values
//   DATA_DIR/pictures.tsv  id and picture file of stored entries (--confirm)
//   DATA_DIR/sources/      small PPM pictures the --rows distractors are cut from
//   FEATURES_OUT           per query and comparison: the two closest rows'
//                          differences and ids (for tune.py)
//   --rows N               grows the database to N entries with distractors
//                          cut from the sources (crops of 35-100 % per side,
//                          quarter turns, mirrors, colour changes), as
//                          prepare.py cuts its own
//   --confirm              also the verdict confirmed by the stored entries'
//                          pictures (Confirmation, the files standing in for
//                          the site)
//   --speed N              only the speed: N queries spread over the list
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include <time.h>

#include "control/Confirmation.h"
#include "control/PictureDetail.h"
#include "control/WhiteFrame.h"
#include "search/CacheTable.h"
#include "search/Comparison.h"
#include "search/MatchSearch.h"
#include "search/SimilaritySearch.h"
#include "search/Verdict.h"

namespace {

// Where a copy's right entry lies among the rows its search found.
struct Reach {
  bool first = false;      // some comparison with a rule finds it closest
  bool candidate = false;  // among the confirmation's candidates
  bool closest = false;    // among any comparison's closest rows
};

struct Query {
  std::string half, set, edit, group, expected, path;
  ImageCache::Colours values{};
  // The picture without a white frame found in its pixels (--signature-only: not looked for).
  std::vector<ImageCache::Colours> unframed;
  bool pictureKnown = false;
  const std::vector<ImageCache::Colours>* Unframed() const { return pictureKnown ? &unframed : nullptr; }
  MatchResult result;
  Verdict::Decision decision;
  std::vector<Confirmation::Compared> compared;  // --confirm
  Reach reach;                                   // of the program's verdict
};

// A distractor source: its pixels and, per channel, the sums of every
// rectangle from the top left corner.
struct Source {
  int width = 0, height = 0;
  std::vector<std::uint32_t> argb;
  std::vector<std::array<double, 3>> integral;  // (width + 1) x (height + 1)

  const std::array<double, 3>& At(int x, int y) const { return integral[static_cast<std::size_t>(y) * (width + 1) + x]; }
};

bool ReadPpm(const std::string& path, Source* out) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, max = 0;
  if (!(in >> magic >> w >> h >> max) || magic != "P6" || w <= 0 || h <= 0 || max != 255) return false;
  in.get();
  std::vector<unsigned char> bytes(static_cast<std::size_t>(w) * h * 3);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) return false;
  out->width = w;
  out->height = h;
  out->argb.resize(static_cast<std::size_t>(w) * h);
  out->integral.assign(static_cast<std::size_t>(w + 1) * (h + 1), {0, 0, 0});
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const unsigned char* p = &bytes[(static_cast<std::size_t>(y) * w + x) * 3];
      out->argb[static_cast<std::size_t>(y) * w + x] = 0xFF000000u | (p[0] << 16) | (p[1] << 8) | p[2];
      auto& cell = out->integral[static_cast<std::size_t>(y + 1) * (w + 1) + x + 1];
      for (int c = 0; c < 3; ++c) cell[c] = p[c] + out->At(x, y + 1)[c] + out->At(x + 1, y)[c] - out->At(x, y)[c];
    }
  }
  return true;
}

// One distractor cut from a source: a crop, a turn or mirror, a colour change.
struct Cut {
  int source = 0;
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  GridTransform turn = GridTransform::kIdentity;
  int colour = 0;  // 0 none, 1 brightness and saturation, 2 gray, 3 brightness and contrast
  double a = 1, b = 0;

  std::array<double, 3> Apply(std::array<double, 3> v) const {
    switch (colour) {
      case 1: {
        const double gray = (v[0] + v[1] + v[2]) / 3;
        for (double& x : v) x = (gray + b * (x - gray)) * a;
        break;
      }
      case 2: {
        const double luma = 0.299 * v[0] + 0.587 * v[1] + 0.114 * v[2];
        v = {luma, luma, luma};
        break;
      }
      case 3:
        for (double& x : v) x = (x - 128) * a + 128 + b;
        break;
      default:
        break;
    }
    for (double& x : v) x = std::clamp(x, 0.0, 255.0);
    return v;
  }
};

Cut MakeCut(std::size_t index, const std::vector<Source>& sources) {
  std::mt19937_64 rng(index * 0x9E3779B97F4A7C15ull + 17);
  std::uniform_real_distribution<double> unit(0, 1);
  Cut cut;
  cut.source = static_cast<int>(index % sources.size());
  const Source& s = sources[cut.source];
  const double w = 0.35 + 0.65 * unit(rng), h = 0.35 + 0.65 * unit(rng);
  const int cw = std::max(3, static_cast<int>(w * s.width)), ch = std::max(3, static_cast<int>(h * s.height));
  cut.x0 = static_cast<int>(unit(rng) * (s.width - std::min(cw, s.width) + 1));
  cut.y0 = static_cast<int>(unit(rng) * (s.height - std::min(ch, s.height) + 1));
  cut.x1 = std::min(s.width, cut.x0 + cw);
  cut.y1 = std::min(s.height, cut.y0 + ch);
  const double turn = unit(rng);
  static constexpr GridTransform kTurns[] = {GridTransform::kRotate90, GridTransform::kRotate180,
                                             GridTransform::kRotate270, GridTransform::kMirror, GridTransform::kFlip};
  if (turn < 0.4) cut.turn = kTurns[static_cast<int>(turn / 0.4 * 5) % 5];
  const double colour = unit(rng);
  if (colour < 0.6) {
    cut.colour = 1;
    cut.a = 0.7 + 0.6 * unit(rng);
    cut.b = 0.4 + 1.2 * unit(rng);
  } else if (colour < 0.7) {
    cut.colour = 2;
  } else if (colour < 0.8) {
    cut.colour = 3;
    cut.a = 0.75 + 0.5 * unit(rng);
    cut.b = -25 + 50 * unit(rng);
  }
  return cut;
}

ImageCache::Colours CutSignature(const Cut& cut, const Source& s) {
  ImageCache::Colours values{};
  for (int r = 0; r < 3; ++r) {
    const int ya = cut.y0 + (cut.y1 - cut.y0) * r / 3, yb = cut.y0 + (cut.y1 - cut.y0) * (r + 1) / 3;
    for (int c = 0; c < 3; ++c) {
      const int xa = cut.x0 + (cut.x1 - cut.x0) * c / 3, xb = cut.x0 + (cut.x1 - cut.x0) * (c + 1) / 3;
      const double n = std::max(1, (xb - xa) * (yb - ya));
      std::array<double, 3> mean{};
      for (int k = 0; k < 3; ++k) mean[k] = (s.At(xb, yb)[k] - s.At(xa, yb)[k] - s.At(xb, ya)[k] + s.At(xa, ya)[k]) / n;
      mean = cut.Apply(mean);
      for (int k = 0; k < 3; ++k) values[3 * (3 * r + c) + k] = static_cast<std::int32_t>(std::lround(mean[k]));
    }
  }
  return ApplyGridTransform(cut.turn, values);
}

PictureDetail CutDetail(const Cut& cut, const Source& s) {
  const int w = cut.x1 - cut.x0, h = cut.y1 - cut.y0;
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint32_t p = s.argb[static_cast<std::size_t>(cut.y0 + y) * s.width + cut.x0 + x];
      const auto v = cut.Apply({double((p >> 16) & 0xFF), double((p >> 8) & 0xFF), double(p & 0xFF)});
      pixels[static_cast<std::size_t>(y) * w + x] =
          0xFF000000u | (std::uint32_t(std::lround(v[0])) << 16) | (std::uint32_t(std::lround(v[1])) << 8) |
          std::uint32_t(std::lround(v[2]));
    }
  }
  return PictureDetail::FromPixels(pixels.data(), w, h).Transformed(cut.turn);
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

double Millis(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The processor time of every thread of the process so far.
double ProcessCpuMillis() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return 1e3 * static_cast<double>(now.tv_sec) + 1e-6 * static_cast<double>(now.tv_nsec);
}

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

// The summary of one half: mild and hard copies posted with the
// right id, found (posted or similar, right id), never-posted pictures
// called posted and called similar, copies posted with a wrong id.
template <class Decide>
void PrintSummaryRow(const std::string& name, const std::vector<Query>& queries, const std::string& half,
                     const CacheTable& table, const Decide& decide) {
  Score mild, hard, never;
  for (const Query& q : queries) {
    if (q.half != half) continue;
    Score* s = q.group == "mild" ? &mild : q.group == "hard" ? &hard : q.group == "never" ? &never : nullptr;
    if (s != nullptr) s->Add(decide(q), table, q.expected);
  }
  const int edited = mild.n + hard.n;
  std::printf("| %s | %.1f %% | %.1f %% | %.1f %% | %.1f %% | %.1f %% | %.1f %% |\n", name.c_str(),
              Share(mild.postedRight, mild.n), Share(hard.postedRight, hard.n),
              Share(mild.postedRight + mild.similarRight + hard.postedRight + hard.similarRight, edited),
              Share(never.postedWrong, never.n), Share(never.similarOther, never.n),
              Share(mild.postedWrong + hard.postedWrong, edited));
}

// One setting of a sweep: its summary on the tuning half and on the held-out
// half, the program's own setting marked.
template <class Decide>
void PrintSweptRows(const std::string& setting, bool ours, const std::vector<Query>& queries,
                    const CacheTable& table, const Decide& decide) {
  for (const std::string half : {"tuning", "heldout"}) {
    PrintSummaryRow(setting + (half == "tuning" ? ", tuning" : ", held-out") + (ours ? " *" : ""), queries, half,
                    table, decide);
  }
}

// Where the right entry of `q` lies under its verdict (q.decision).
Reach ReachOf(const Query& q, const Verdict::Rules& rules, const CacheTable& table) {
  Reach r;
  for (int c = 0; c < kComparisonCount; ++c) {
    if (!rules[c].Speaks()) continue;
    const auto& hits = q.result.closest[c];
    for (std::size_t k = 0; k < hits.size(); ++k) {
      if (table.Id(hits[k].row) != q.expected) continue;
      r.closest = true;
      r.first = r.first || k == 0;
    }
  }
  for (const Confirmation::Candidate& c : Confirmation::Candidates(q.result, q.decision, rules)) {
    r.candidate = r.candidate || table.Id(c.hit.row) == q.expected;
  }
  return r;
}

const char kSummaryHead[] =
    "| verdict | mild posted right | hard posted right | found | never posted called posted | "
    "never posted called similar | posted with a wrong id |\n|---|---|---|---|---|---|---|\n";

// Speed: the program's search and verdict against the plain pass on `count`
// of the queries.
void ReportSpeed(const CacheTable& table, const std::vector<Query>& queries, std::size_t count) {
  const Verdict verdict;
  // The same queries, in this run, one after the other for each query so
  // that a change in the machine's load falls on all: the search on one
  // thread, and as the program runs it (helper threads for the processors
  // free at the time). Wall time is what the user waits; processor time (every
  // thread of the process) what the search costs the machine.
  const std::size_t n = std::min(queries.size(), count);
  const SimilaritySearch plain;
  const std::size_t threads = MatchSearch::DefaultThreads();
  const MatchSearch searches[] = {
      MatchSearch(ComparisonSet::Default(), SimilaritySearch::kHitCount, SimilaritySearch::Kernel::kAuto, 1),
      MatchSearch(ComparisonSet::Default(), SimilaritySearch::kHitCount, SimilaritySearch::Kernel::kAuto, threads)};
  std::size_t sink = 0;
  double wallMs[3] = {}, cpuMs[3] = {};
  const auto timed = [&](int k, const auto& run) {
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = ProcessCpuMillis();
    sink += run();
    wallMs[k] += Millis(std::chrono::steady_clock::now() - t0);
    cpuMs[k] += ProcessCpuMillis() - c0;
  };
  for (std::size_t i = 0; i < n; ++i) {
    // Spread over the list: its order groups the queries by edit.
    const Query& query = queries[i * queries.size() / n];
    timed(0, [&] { return plain.Run(table, query.values).size(); });
    for (int k = 0; k < 2; ++k) {
      timed(k + 1, [&] {
        return static_cast<std::size_t>(
            verdict.Decide(searches[k].Run(table, query.values, query.Unframed())).outcome);
      });
    }
  }
  std::printf("\nSpeed on %zu entries, %zu queries, wall time a query (processor time):%s\n", table.RowCount(), n,
              sink == 0 ? " " : "");
  std::printf("  plain pass %.1f ms (%.1f ms)\n", wallMs[0] / n, cpuMs[0] / n);
  std::printf("  search with the verdict, 1 thread: %.1f ms (%.1f ms), x %.2f (x %.2f)\n", wallMs[1] / n,
              cpuMs[1] / n, wallMs[1] / wallMs[0], cpuMs[1] / cpuMs[0]);
  std::printf("  search with the verdict, up to %zu threads when processors are free: %.1f ms (%.1f ms), "
              "x %.2f (x %.2f)\n",
              threads, wallMs[2] / n, cpuMs[2] / n, wallMs[2] / wallMs[0], cpuMs[2] / cpuMs[0]);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> positional;
  std::string featuresPath;
  std::size_t rows = 0;
  bool confirm = false;
  std::size_t speedQueries = 100;
  bool speedOnly = false;
  bool signatureOnly = false;  // the search as it runs without the query's picture at hand
  std::string confirmationsPath;  // --confirmations FILE: what each query's confirmation compared
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--rows" && i + 1 < argc) {
      rows = std::stoul(argv[++i]);
    } else if (arg == "--features" && i + 1 < argc) {
      featuresPath = argv[++i];
    } else if (arg == "--confirmations" && i + 1 < argc) {
      confirmationsPath = argv[++i];
      confirm = true;
    } else if (arg == "--signature-only") {
      signatureOnly = true;
    } else if (arg == "--confirm") {
      confirm = true;
    } else if (arg == "--speed" && i + 1 < argc) {
      speedQueries = std::max<std::size_t>(std::stoul(argv[++i]), 1);
      speedOnly = true;
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.empty()) {
    std::fprintf(stderr,
                 "usage: bench_effectiveness DATA_DIR [FEATURES_OUT] [--rows N] [--confirm] [--speed N] "
                 "[--signature-only]\n");
    return 2;
  }
  if (positional.size() > 1) featuresPath = positional[1];
  const std::string dir = positional[0];
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
  // Distractors cut from the sources, up to `rows` entries.
  std::vector<Source> sources;
  const std::size_t prepared = table.RowCount();
  if (rows > table.RowCount() || confirm) {
    std::vector<std::string> names;
    if (std::filesystem::is_directory(dir + "/sources")) {
      for (const auto& entry : std::filesystem::directory_iterator(dir + "/sources")) {
        if (entry.path().extension() == ".ppm") names.push_back(entry.path().string());
      }
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      Source source;
      if (ReadPpm(name, &source)) sources.push_back(std::move(source));
    }
    if (sources.empty() && rows > table.RowCount()) {
      std::fprintf(stderr, "bench_effectiveness: no distractor sources in %s/sources\n", dir.c_str());
      return 1;
    }
    char id[32];
    for (std::size_t g = 0; table.RowCount() < rows; ++g) {
      const Cut cut = MakeCut(g, sources);
      std::snprintf(id, sizeof id, "g%07zu", g);
      table.Append(id, "cut", "distractor", CutSignature(cut, sources[cut.source]));
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
      q.path = f[5];
      if (ReadValues(f, 6, &q.values)) queries.push_back(std::move(q));
    }
  }
  if (table.RowCount() == 0 || queries.empty()) {
    std::fprintf(stderr, "bench_effectiveness: no data in %s\n", dir.c_str());
    return 1;
  }
  if (!signatureOnly) {
    // What the program finds in each query's picture: a white frame round it.
    for (Query& q : queries) {
      q.unframed = WhiteFrame::FromFile(q.path);
      q.pictureKnown = true;
    }
  }
  if (speedOnly) {
    ReportSpeed(table, queries, speedQueries);
    return 0;
  }
  // All comparisons run, so that the tables show what each one would add;
  // the verdict below uses those of ComparisonSet::Default() only.
  const MatchSearch search(ComparisonSet::All());
  for (Query& q : queries) q.result = search.Run(table, q.values, q.Unframed());

  if (!featuresPath.empty()) {
    std::ofstream out(featuresPath);
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
      // Last, the query's spread: the mean distance of its 27 values from their mean.
      double mean = 0, spread = 0;
      for (int v : q.values) mean += v;
      mean /= ImageCache::kValueCount;
      for (int v : q.values) spread += std::abs(v - mean);
      out << '\t' << static_cast<int>(spread / ImageCache::kValueCount + 0.5) << '\n';
    }
  }

  int posted = 0, never = 0;
  for (const Query& q : queries) ++(q.set == "posted" ? posted : never);
  std::printf("Database: %zu entries (%zu prepared, %zu cut from %zu sources); queries: %d edited copies of posted pictures, %d never-posted pictures "
              "and their copies.\n\n",
              table.RowCount(), prepared, table.RowCount() - prepared, sources.size(), posted, never);

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
  const Verdict::Evidence evidence = Verdict::TunedEvidence();
  const Score full = scoreAll(Verdict(allOn, evidence), "heldout", "*");
  const Score fullNever = scoreAll(Verdict(allOn, evidence), "heldout", "never");
  for (int c = 1; c < kComparisonCount; ++c) {
    Verdict::Rules without = allOn;
    without[c] = Verdict::Rule{0, 0, 1.0, 1.0};
    const Score s = scoreAll(Verdict(without, evidence), "heldout", "*");
    const Score n = scoreAll(Verdict(without, evidence), "heldout", "never");
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
    const Verdict verdict(tuned, evidence);
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

  // The entry standing alone: posted thresholds x factor when the closest
  // row is at most ratio x as far as the closest other; the program's marked.
  std::printf("\nAn entry standing alone, swept (ratio / factor).\n\n%s", kSummaryHead);
  for (const auto& [ratio, factor] : {std::pair{0.0, 1.0}, {0.2, 2.5}, {0.3, 1.5}, {0.3, 2.0}, {0.3, 2.5}, {0.3, 3.25},
                                      {0.4, 2.5}, {0.5, 2.5}}) {
    Verdict::Evidence swept = evidence;
    swept.aloneRatio = ratio;
    swept.aloneFactor = factor;
    const Verdict trial(tuned, swept);
    char setting[32];
    std::snprintf(setting, sizeof setting, "%.1f / %.2f", ratio, factor);
    PrintSweptRows(setting, ratio == evidence.aloneRatio && factor == evidence.aloneFactor, queries, table,
                   [&](const Query& q) { return trial.Decide(q.result); });
  }

  const Verdict verdict(tuned, evidence);
  for (Query& q : queries) {
    q.decision = verdict.Decide(q.result);
    q.reach = ReachOf(q, tuned, table);
  }
  const auto plainDecision = [](const Query& q) { return q.decision; };

  // The curve about the program's rules: one kind of comparison's posted or
  // similar threshold times a factor, the others as they are.
  std::printf("\nThe verdict's thresholds swept (one kind's threshold x factor).\n\n%s", kSummaryHead);
  const auto kindOf = [](int c) {
    return c > 0 && c < kGridTransformCount ? std::string("turned")
                                             : std::string(ComparisonWord(static_cast<Comparison>(c)));
  };
  PrintSweptRows("as tuned", true, queries, table, plainDecision);
  for (const bool posted : {true, false}) {
    for (const char* kind : {"same", "turned", "grayscale", "tone", "reframed"}) {
      for (const double factor : {0.5, 1.5, 2.0}) {
        Verdict::Rules swept = tuned;
        for (int c = 0; c < kComparisonCount; ++c) {
          std::int64_t& below = posted ? swept[c].postedBelow : swept[c].similarBelow;
          if (kindOf(c) == kind) below = std::llround(static_cast<double>(below) * factor);
        }
        const Verdict trial(swept, evidence);
        char setting[48];
        std::snprintf(setting, sizeof setting, "%s %s x %.1f", kind, posted ? "posted" : "similar", factor);
        PrintSweptRows(setting, false, queries, table, [&](const Query& q) { return trial.Decide(q.result); });
      }
    }
  }

  std::printf("\nSummary (%zu entries).\n\n%s", table.RowCount(), kSummaryHead);
  PrintSummaryRow("tuning half", queries, "tuning", table, plainDecision);
  PrintSummaryRow("held-out half", queries, "heldout", table, plainDecision);

  // How far a verdict can reach: the plain verdict names only a comparison's
  // closest row, confirmation compares only its candidates; a copy whose
  // right entry is neither is out of their reach whatever the thresholds.
  std::printf("\nWithin reach: where the edited copies' right entry lies among the rows the comparisons with a "
              "rule find.\n\n| half | group | copies | a comparison's closest row | among the confirmation's "
              "candidates | among any comparison's %zu closest |\n|---|---|---|---|---|---|\n",
              MatchSearch::kClosest);
  for (const std::string half : {"tuning", "heldout"}) {
    for (const std::string group : {"mild", "hard"}) {
      int n = 0, first = 0, candidate = 0, closest = 0;
      for (const Query& q : queries) {
        if (q.half != half || q.group != group) continue;
        ++n;
        first += q.reach.first;
        candidate += q.reach.candidate;
        closest += q.reach.closest;
      }
      std::printf("| %s | %s | %d | %.1f %% | %.1f %% | %.1f %% |\n", half == "tuning" ? "tuning" : "held-out",
                  group.c_str(), n, Share(first, n), Share(candidate, n), Share(closest, n));
    }
  }

  if (confirm) {
    // The stored entries' pictures: the prepared ones from their files (the
    // posted ones kept once decoded, since many queries ask for them), the
    // cut ones made again from their source.
    std::unordered_map<std::string, std::string> files;
    {
      std::ifstream in(dir + "/pictures.tsv");
      std::string line;
      while (std::getline(in, line)) {
        const auto f = Split(line);
        if (f.size() >= 2) files[f[0]] = f[1];
      }
    }
    std::unordered_map<std::string, PictureDetail> kept;
    const Confirmation::Source source = [&](const std::string& id) {
      Confirmation::StoredPicture stored;
      if (id.size() > 1 && id[0] == 'g') {
        const Cut cut = MakeCut(std::stoul(id.substr(1)), sources);
        stored.detail = CutDetail(cut, sources[cut.source]);
        stored.ok = true;
        return stored;
      }
      if (const auto it = kept.find(id); it != kept.end()) {
        stored.detail = it->second;
        stored.ok = true;
        return stored;
      }
      const auto file = files.find(id);
      if (file == files.end()) {
        stored.message = "no picture";
        return stored;
      }
      stored.ok = PictureDetail::FromBytes(ReadBytes(file->second), &stored.detail, &stored.message);
      if (stored.ok && id[0] == 'p') kept.emplace(id, stored.detail);
      return stored;
    };
    std::size_t compared = 0, confirmedQueries = 0;
    double queryMs = 0, compareMs = 0;
    for (Query& q : queries) {
      const auto t0 = std::chrono::steady_clock::now();
      PictureDetail detail;
      std::string reason;
      if (Confirmation::Candidates(q.result, q.decision).empty() ||
          !PictureDetail::FromFile(q.path, &detail, &reason)) {
        continue;
      }
      const auto t1 = std::chrono::steady_clock::now();
      std::string message;
      // Every candidate compared, so that the thresholds can be swept.
      Confirmation::Compare(detail, q.result, q.decision, table, source, nullptr, 2.0, &q.compared, &message);
      const auto t2 = std::chrono::steady_clock::now();
      queryMs += Millis(t1 - t0);
      compareMs += Millis(t2 - t1);
      compared += q.compared.size();
      ++confirmedQueries;
    }
    if (!confirmationsPath.empty()) {
      // Per query the candidates compared: id, comparison, likeness (-1: no picture).
      std::ofstream out(confirmationsPath);
      for (const Query& q : queries) {
        out << q.half << '\t' << q.set << '\t' << q.edit << '\t' << q.expected << '\t' << q.path << '\t'
            << Verdict::Word(q.decision.outcome) << '\t' << (q.decision.hasEntry ? table.Id(q.decision.entry.row) : "");
        for (const Confirmation::Compared& c : q.compared) {
          out << '\t' << table.Id(c.candidate.hit.row) << ' ' << ComparisonWord(c.candidate.comparison) << ' '
              << c.likeness;
        }
        out << '\n';
      }
    }
    std::printf("\nConfirmation: %zu queries with candidates, %zu candidate pictures compared (%.2f a query); "
                "query picture reduced in %.1f ms, a candidate fetched from its file, reduced and compared in "
                "%.1f ms on average.\n",
                confirmedQueries, compared, confirmedQueries ? double(compared) / confirmedQueries : 0.0,
                confirmedQueries ? queryMs / confirmedQueries : 0.0, compared ? compareMs / compared : 0.0);
    // The thresholds swept; the program's are marked.
    std::printf("\nWith confirmation, thresholds swept (confirm at / keep posted at / similar at).\n\n%s", kSummaryHead);
    for (const double confirmAt : {0.93, 0.95, 0.97}) {
      for (const auto& [keepAt, similarAt] : {std::pair{2.0, 0.75}, {0.8, 0.6}, {0.7, 0.75}, {0.8, 0.4}, {0.8, 0.75}, {0.8, 0.85}}) {
        const Confirmation::Thresholds t{confirmAt, keepAt, similarAt};
        const auto decide = [&](const Query& q) { return Confirmation::Judge(q.decision, q.compared, t).decision; };
        const bool ours = confirmAt == Confirmation::kConfirmAt && keepAt == Confirmation::kKeepAt &&
                          similarAt == Confirmation::kSimilarAt;
        char setting[48];
        std::snprintf(setting, sizeof setting, "%.2f / %.2f / %.2f", confirmAt, keepAt, similarAt);
        PrintSweptRows(setting, ours, queries, table, decide);
      }
    }
    const Confirmation::Thresholds ours{Confirmation::kConfirmAt, Confirmation::kKeepAt, Confirmation::kSimilarAt};
    const auto confirmed = [&](const Query& q) { return Confirmation::Judge(q.decision, q.compared, ours).decision; };
    std::printf("\nHeld-out half per edit: posted with the right id without ‖ with confirmation.\n\n"
                "| edit | group | copies | without | with | right entry among the candidates |\n"
                "|---|---|---|---|---|---|\n");
    for (const std::string& edit : order) {
      Score without, with;
      int reached = 0;
      for (const Query* q : byEdit[edit]) {
        if (q->half != "heldout") continue;
        without.Add(q->decision, table, q->expected);
        with.Add(confirmed(*q), table, q->expected);
        reached += q->reach.candidate;
      }
      std::printf("| %s | %s | %d | %.1f %% | %.1f %% | %.1f %% |\n", edit.c_str(),
                  byEdit[edit].front()->group.c_str(), without.n, Share(without.postedRight, without.n),
                  Share(with.postedRight, with.n), Share(reached, without.n));
    }
    std::printf("\nSummary with confirmation (%zu entries).\n\n%s", table.RowCount(), kSummaryHead);
    PrintSummaryRow("tuning half", queries, "tuning", table, confirmed);
    PrintSummaryRow("held-out half", queries, "heldout", table, confirmed);
  }

  ReportSpeed(table, queries, speedQueries);
  return 0;
}
