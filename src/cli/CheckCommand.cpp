#include "cli/CheckCommand.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "cli/OutputEscape.h"
#include "control/FoundPicture.h"
#include "infra/IdleCores.h"
#include "infra/TextEncoding.h"
#include "search/CacheTable.h"
#include "search/Comparison.h"

namespace {

struct Item {
  FoundPicture found;
  PictureCheck check;
  Confirmation::Result confirmation;  // state kNotNeeded unless confirmed
};

// A stored text for one field of a line: UTF-8, control bytes as spaces.
std::string Field(std::string_view sjis) {
  std::string text = Cp932ToUtf8(sjis);
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return text;
}

std::string Json(std::string_view utf8) { return OutputEscape::JsonString(utf8); }

// A line whose middle fields are empty: a picture that could not be read,
// or a cache with nothing to compare with.
void PrintWithoutEntry(const char* verdict, const std::string& path, bool json, std::FILE* out) {
  if (json) {
    std::fprintf(out,
                 "{\"verdict\":\"%s\",\"difference\":null,\"id\":null,\"match\":null,\"title\":null,"
                 "\"poster\":null,\"path\":%s}\n",
                 verdict, Json(path).c_str());
  } else {
    std::fprintf(out, "%s\t\t\t\t\t\t%s\n", verdict, path.c_str());
  }
}

void PrintItem(const CacheTable& table, const Item& item, bool json, bool confirm, std::FILE* out,
               std::FILE* status) {
  // The path is escaped in both formats: a name could otherwise add a line
  // or a field, or send control sequences to the terminal.
  const std::string path = OutputEscape::Text(item.found.shown);
  if (!item.check.read) {
    std::fprintf(status, "tintwise-cli: %s: %s\n", path.c_str(), item.check.reason.c_str());
    PrintWithoutEntry("error", path, json, out);
    return;
  }
  const Verdict::Decision& d = item.confirmation.decision;
  const std::string verdict(Verdict::Word(d.outcome));
  const Confirmation::State state = item.confirmation.state;
  if (state == Confirmation::State::kUnreachable) {
    std::fprintf(status, "tintwise-cli: %s: not confirmed, the site's picture could not be had: %s\n", path.c_str(),
                 Field(item.confirmation.message).c_str());
  }
  if (!d.hasEntry) {  // an empty cache: nothing to compare with
    PrintWithoutEntry("new", path, json, out);
    return;
  }
  const std::string id = Field(table.Id(d.entry.row));
  const std::string title = Field(table.Title(d.entry.row));
  const std::string poster = Field(table.Name(d.entry.row));
  const std::string match(state == Confirmation::State::kConfirmed ? "confirmed" : ComparisonWord(d.comparison));
  const long long difference = d.entry.difference;
  if (json) {
    const std::string word(Confirmation::Word(state));
    const std::string confirmation = !confirm ? "" : word.empty() ? ",\"confirmation\":null" : ",\"confirmation\":\"" + word + "\"";
    std::fprintf(out, "{\"verdict\":\"%s\",\"difference\":%lld,\"id\":%s,\"match\":\"%s\",\"title\":%s,\"poster\":%s,"
                      "\"path\":%s%s}\n",
                 verdict.c_str(), difference, Json(id).c_str(), match.c_str(), Json(title).c_str(),
                 Json(poster).c_str(), Json(path).c_str(), confirmation.c_str());
  } else {
    std::fprintf(out, "%s\t%lld\t%s\t%s\t%s\t%s\t%s\n", verdict.c_str(), difference, id.c_str(), match.c_str(),
                 title.c_str(), poster.c_str(), path.c_str());
  }
}

std::string Clock(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

}  // namespace

int RunCheck(const CacheTable& table, const std::vector<std::string>& given, const std::vector<std::string>& operands,
             const CheckOptions& options, std::FILE* out, std::FILE* status) {
  std::vector<Item> items;
  for (FoundPicture& found : FoundPicture::Find(given, operands, options.operandErrors)) {
    items.push_back({std::move(found), {}, {}});
  }

  std::mutex mutex;
  std::condition_variable ready;
  std::vector<char> done(items.size(), 0);
  std::atomic<std::size_t> next{0};
  const std::size_t jobs = std::clamp<std::size_t>(options.jobs, 1, std::max<std::size_t>(items.size(), 1));
  // `jobs` caps the threads at work. A large picture's rows are reduced on
  // a thread of their own only while a job asked for has no picture (fewer
  // pictures than jobs, or none left to start) and a processor is idle: with
  // a picture on every core that thread would only take turns with the
  // other jobs' decoders. A picture looks again as it goes on, so the last
  // ones of a run take up the cores that the finished jobs leave.
  std::atomic<std::size_t> jobsWithoutPicture{options.jobs > jobs ? options.jobs - jobs : 0};
  const ReductionSink::IdleProbe spareCores = [&] { return jobsWithoutPicture.load() > 0 ? IdleCores() : 0; };
  const auto work = [&] {
    for (std::size_t i; (i = next.fetch_add(1)) < items.size();) {
      items[i].check = items[i].found.Check(table, SimilaritySearch::kHitCount, spareCores);
      {
        std::lock_guard<std::mutex> lock(mutex);
        done[i] = 1;
      }
      ready.notify_one();
    }
    jobsWithoutPicture.fetch_add(1);
  };
  std::vector<std::thread> workers;
  for (std::size_t j = 0; j < jobs; ++j) workers.emplace_back(work);

  // Lines come out in order, each as soon as it and all before it are done.
  const auto started = std::chrono::steady_clock::now();
  int counts[4] = {};  // posted, similar, new, error
  int confirmations[5] = {};  // by Confirmation::State
  bool barShown = false;
  for (std::size_t i = 0; i < items.size(); ++i) {
    {
      std::unique_lock<std::mutex> lock(mutex);
      ready.wait(lock, [&] { return done[i] != 0; });
    }
    if (barShown) std::fputs("\r\x1b[K", status);
    Item& item = items[i];
    item.confirmation.decision = item.check.decision;
    // One picture after the other, so that the site sees one request at a time.
    if (options.confirm && item.check.read && options.site && (!options.running || options.running->load())) {
      PictureDetail query;
      std::string reason;
      if (PictureDetail::FromFile(item.found.path, &query, &reason)) {
        item.confirmation = Confirmation::Run(query, item.check.match, item.check.decision, table, options.site,
                                              options.running);
        ++confirmations[static_cast<int>(item.confirmation.state)];
      }
    }
    PrintItem(table, item, options.json, options.confirm, out, status);
    std::fflush(out);
    ++counts[item.check.read ? static_cast<int>(item.confirmation.decision.outcome) : 3];
    if (options.interactive) {
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      const double rate = seconds > 0 ? (i + 1) / seconds : 0;
      const std::size_t total = items.size();
      const int width = 30;
      const int filled = static_cast<int>(width * (i + 1) / total);
      std::fprintf(status, "[%s%s] %zu/%zu  %.1f pictures/s  %s left", std::string(filled, '#').c_str(),
                   std::string(width - filled, ' ').c_str(), i + 1, total, rate,
                   Clock(rate > 0 ? (total - i - 1) / rate : 0).c_str());
      std::fflush(status);
      barShown = true;
    }
  }
  for (std::thread& worker : workers) worker.join();
  if (barShown) std::fputs("\r\x1b[K", status);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::fprintf(status, "checked %zu pictures in %.1f s: %d posted, %d similar, %d new, %d errors\n", items.size(),
               seconds, counts[0], counts[1], counts[2], counts[3]);
  if (options.confirm) {
    using State = Confirmation::State;
    std::fprintf(status, "confirmation: %d confirmed, %d downgraded, %d unchanged, %d unreachable\n",
                 confirmations[static_cast<int>(State::kConfirmed)], confirmations[static_cast<int>(State::kDowngraded)],
                 confirmations[static_cast<int>(State::kUnchanged)], confirmations[static_cast<int>(State::kUnreachable)]);
  }
  return counts[3] == 0 ? 0 : 1;
}
