#include "control/CacheGeneration.h"

#include <cstdint>
#include <memory>
#include <string>

#include "cachebuild/MakeCacheDirectX.h"
#include "cachebuild/ToSqlite.h"
#include "control/ControlView.h"
#include "infra/AtomicFile.h"
#include "infra/Log.h"
#include "infra/NumberToString.h"
#include "infra/Platform.h"
#include "infra/SettingFile.h"
#include "infra/TextEncoding.h"
#include "infra/WriterLock.h"
#include "search/CacheDatabase.h"

namespace {

// The run's texts, converted when a run first needs them rather than
// before main: every command of the programs would pay for the conversion.
struct Texts {
  SjisText generating{u8"キャッシュ生成中"};
  SjisText saving{u8"キャッシュ保存中"};
  SjisText buildingDatabase{u8"データベース生成中"};
  SjisText finished{u8"キャッシュ生成終了"};
  SjisText recordsUnreadable{u8"cache.iniの読み込みに失敗しました"};
  SjisText settingsMissing{u8"cache_setting.iniが見つかりません"};
  SjisText settingsUnreadable{u8"cache_setting.iniの読み込みに失敗しました"};
  SjisText rangeMissing{u8"cache_setting.iniにSTARTかENDがありません"};
  SjisText rangeInvalid{u8"cache_setting.iniのSTARTかENDが正しい番号ではありません"};
  SjisText rangeReversed{u8"cache_setting.iniのENDがSTARTより小さくなっています"};
  SjisText saveFailed{u8"cache.iniの保存に失敗しました"};
  SjisText exportFailed{u8"cache.dbの生成に失敗しました"};
  SjisText saveAndExportFailed{u8"cache.iniの保存とcache.dbの生成に失敗しました"};
  SjisText reloadFailed{u8"キャッシュの読み込みに失敗しました"};
  SjisText noPageReached{u8"ページを一つも取得できなかったので、cache.iniとcache.dbは元のままです"};
  SjisText logPrefix{u8"CacheGeneration::Run() : "};
};

const Texts& Text() {
  static const Texts texts;
  return texts;
}

bool Exists(const char* path) { return platform::LookAt(path, true).has_value(); }

// An id as the setting file holds it: decimal digits only (leading zeros
// allowed) and within the site's signed 32-bit ids.
bool ParseId(const std::string& text, std::int32_t& id) {
  if (text.empty()) return false;
  std::int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
    if (value > INT32_MAX) return false;
  }
  id = static_cast<std::int32_t>(value);
  return true;
}

// Records keep every key of the page; the saved file keeps only these.
const char* const kTextKeys[] = {"TITLE", "NAME", "CACHE"};
const char* const kNumberKeys[] = {"ADULT", "GOOD", "BAD"};

void KeepRecord(const SettingFile& records, const std::string& section, SettingFile& saved) {
  for (const char* key : kTextKeys) saved.Set(section, key, records.Get(section, key));
  for (const char* key : kNumberKeys)
    saved.SetInt(section, key, static_cast<std::int32_t>(records.GetInt(section, key)));
}

// Writes what one builder found into its id's record; a page without a title
// leaves the record as it was.
void UpdateRecord(const MakeCache& builder, SettingFile& records) {
  if (builder.title.empty()) return;
  const std::string& section = builder.id;
  records.Set(section, "TITLE", builder.title);
  records.Set(section, "NAME", builder.name);
  records.Set(section, "IMAGE_URL", builder.imageUrl);
  records.SetInt(section, "ADULT", builder.adult ? 1 : 0);
  records.SetInt(section, "GOOD", builder.good);
  records.SetInt(section, "BAD", builder.bad);
  if (builder.needSignature) records.Set(section, "CACHE", builder.cache);
}

// Handles one id with `builder` and counts what became of it. False when the
// stop flag ended one of its transfers: the id is not done, and what it
// counted so far must be dropped.
bool HandleId(MakeCache& builder, GenerationTally& tally) {
  using Failure = MakeCache::Failure;
  if (!builder.DownloadPHP()) {
    if (builder.failure == Failure::kStopped) return false;
    if (builder.failure == Failure::kFetch) {
      ++tally.pageFetchFailed;
    } else if (builder.failure == Failure::kLocalFile) {
      ++tally.localFileFailed;
    } else {
      ++tally.pagesRead;
      ++(builder.title.empty() ? tally.noTitle : tally.pageIncomplete);
    }
    return true;
  }
  ++tally.pagesRead;
  const bool imageSaved = builder.DownloadImage();
  if (!imageSaved && builder.failure == Failure::kStopped) return false;
  // A page without a title (a deleted id) still has the picture it names
  // fetched into "image/"; its record stays as it was (see UpdateRecord).
  if (builder.title.empty()) {
    ++tally.noTitle;
    return true;
  }
  if (!imageSaved) {
    ++(builder.failure == Failure::kLocalFile ? tally.localFileFailed : tally.imageFetchFailed);
    return true;
  }
  if (!builder.needSignature) {
    ++tally.refreshed;
    return true;
  }
  builder.ComputeSignature();
  ++(builder.cache.empty() ? tally.imageUnreadable : tally.signaturesAdded);
  return true;
}

}  // namespace

CacheGeneration::Range CacheGeneration::ReadRange(const std::string& path) {
  Range range;
  SettingFile settings;
  if (!settings.Load(path)) {
    range.problem = Exists(path.c_str()) ? Text().settingsUnreadable : Text().settingsMissing;
    return range;
  }
  // The keys stand before any section line.
  const std::string& start = settings.Get("", "START");
  const std::string& end = settings.Get("", "END");
  if (start.empty() || end.empty()) {
    range.problem = Text().rangeMissing;
  } else if (!ParseId(start, range.start) || !ParseId(end, range.end)) {
    range.problem = Text().rangeInvalid;
  } else if (range.end < range.start) {
    range.problem = Text().rangeReversed;
  }
  return range;
}

OperationResult CacheGeneration::Refuse(const std::string& status, const std::string& logLine) {
  WriteLog(logLine);
  context_.view.SetStatusText(status);
  context_.running.store(false);
  context_.view.EnableControls(true);
  return OperationResult::Failure(status);
}

OperationResult CacheGeneration::Run() {
  ControlView& view = context_.view;
  view.EnableControls(false);
  context_.running.store(true);
  tally_ = {};

  // A run that cannot know its range must not start: at its end it would
  // replace "cache.db" with whatever "cache.ini" holds, losing a downloaded
  // cache. The loaded cache and both files stay as they are.
  const Range range = ReadRange("cache_setting.ini");
  if (!range.problem.empty()) return Refuse(range.problem, Text().logPrefix + range.problem);
  tally_.started = true;
  tally_.start = range.start;
  tally_.end = range.end;

  auto records = std::make_shared<SettingFile>();
  // A record file that is there but cannot be read (a line past the setting
  // file's limit, a read error) would be replaced at the end by this run's
  // records alone, losing every earlier signature: the run stops before its
  // first id instead and leaves "cache.ini" and "cache.db" as they are.
  if (!records->Load("cache.ini") && Exists("cache.ini")) {
    tally_.started = false;
    return Refuse(Text().recordsUnreadable, Text().logPrefix + Text().recordsUnreadable.str());
  }

  context_.cache.Release();
  // What an earlier run that was killed before its renames left behind: all
  // of it when no other writer is at work, else what is old enough.
  WriterLock writers;
  const long staleAge = WriterLock::StaleAge(writers.Acquire());
  RemoveStaleTemporaryFiles("cache.ini", staleAge);
  RemoveStaleTemporaryFiles("cache.db", staleAge);
  MakeCache::RemoveStaleDownloads(staleAge);

  // 64-bit, so that a range ending at the largest id still ends.
  std::int64_t progress = range.start;
  for (std::int64_t id = range.start; id <= range.end && context_.running.load(); ++id) {
    const std::string section = NumberToString(static_cast<std::int32_t>(id), 0);
    const bool needSignature = records->Get(section, "CACHE").empty();
    {
      MakeCacheDirectX builder(context_.session, section, needSignature, &context_.running);
      GenerationTally counted = tally_;
      if (!HandleId(builder, counted)) break;
      tally_ = counted;
      UpdateRecord(builder, *records);
    }
    ++tally_.idsDone;
    ++progress;
    view.SetStatusText(Text().generating + "\n" + std::to_string(progress) + "/" + std::to_string(range.end));
    if (afterEachId_) afterEachId_(tally_);
  }

  tally_.stopped = tally_.idsDone < std::int64_t{range.end} - range.start + 1;

  // A run that read no page has nothing to add, and rebuilding "cache.db"
  // from "cache.ini" would only lose a cache downloaded since: both files
  // stay as they are.
  bool savedOk = true;
  bool exported = true;
  if (tally_.pagesRead > 0) {
    view.SetStatusText(Text().saving);
    records->UpdateSections();
    auto saved = std::make_shared<SettingFile>();
    for (const std::string& section : records->Sections()) {
      if (!records->Get(section, "CACHE").empty()) KeepRecord(*records, section, *saved);
    }
    saved->UpdateSections();
    // Both files are replaced in one rename each, once complete: a failure
    // keeps the previous file. The database is still built after a failed
    // save, so that it holds this run's records; the run reports the failure.
    savedOk = saved->Save();
    if (savedOk) tally_.recordsSaved = static_cast<std::int64_t>(saved->Sections().size());

    view.SetStatusText(Text().buildingDatabase);
    ToSqlite exporter(*saved);
    exported = exporter.Export();
  }
  const bool loaded = context_.cache.Open();
  context_.running.store(false);

  std::string problem;
  if (tally_.ReachedNoPage()) {
    problem = Text().noPageReached;
    WriteLog(Text().logPrefix + problem);
  } else if (!savedOk && !exported) {
    problem = Text().saveAndExportFailed;
  } else if (!savedOk) {
    problem = Text().saveFailed;
  } else if (!exported) {
    problem = Text().exportFailed;
  } else if (!loaded) {
    problem = Text().reloadFailed;
  }
  view.SetStatusText(problem.empty() ? Text().finished.str() : problem);
  view.EnableControls(true);
  return problem.empty() ? OperationResult::Success() : OperationResult::Failure(problem);
}
