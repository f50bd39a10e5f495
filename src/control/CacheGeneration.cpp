#include "control/CacheGeneration.h"

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>

#include "cachebuild/MakeCacheDirectX.h"
#include "cachebuild/ToSqlite.h"
#include "control/ControlView.h"
#include "infra/AtomicFile.h"
#include "infra/Log.h"
#include "infra/NumberToString.h"
#include "infra/SettingFile.h"
#include "infra/TextEncoding.h"
#include "infra/WriterLock.h"
#include "search/CacheDatabase.h"

namespace {

const SjisText kGenerating{u8"キャッシュ生成中"};
const SjisText kSaving{u8"キャッシュ保存中"};
const SjisText kBuildingDatabase{u8"データベース生成中"};
const SjisText kFinished{u8"キャッシュ生成終了"};
const SjisText kRecordsUnreadable{u8"cache.iniの読み込みに失敗しました"};
const SjisText kSettingsMissing{u8"cache_setting.iniが見つかりません"};
const SjisText kSettingsUnreadable{u8"cache_setting.iniの読み込みに失敗しました"};
const SjisText kRangeMissing{u8"cache_setting.iniにSTARTかENDがありません"};
const SjisText kRangeInvalid{u8"cache_setting.iniのSTARTかENDが正しい番号ではありません"};
const SjisText kRangeReversed{u8"cache_setting.iniのENDがSTARTより小さくなっています"};
const SjisText kSaveFailed{u8"cache.iniの保存に失敗しました"};
const SjisText kExportFailed{u8"cache.dbの生成に失敗しました"};
const SjisText kSaveAndExportFailed{u8"cache.iniの保存とcache.dbの生成に失敗しました"};
const SjisText kReloadFailed{u8"キャッシュの読み込みに失敗しました"};
const SjisText kLogPrefix{u8"CacheGeneration::Run() : "};

bool Exists(const char* path) {
  struct stat info {};
  return ::stat(path, &info) == 0;
}

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

// Handles one id with `builder` and counts what became of it.
void HandleId(MakeCache& builder, GenerationTally& tally) {
  using Failure = MakeCache::Failure;
  if (!builder.DownloadPHP()) {
    if (builder.failure == Failure::kFetch) {
      ++tally.pageFetchFailed;
    } else if (builder.failure == Failure::kLocalFile) {
      ++tally.localFileFailed;
    } else if (builder.title.empty()) {
      ++tally.noTitle;
    } else {
      ++tally.pageIncomplete;
    }
    return;
  }
  if (builder.title.empty()) {
    ++tally.noTitle;
    return;
  }
  if (!builder.DownloadImage()) {
    ++(builder.failure == Failure::kLocalFile ? tally.localFileFailed : tally.imageFetchFailed);
    return;
  }
  if (!builder.needSignature) {
    ++tally.refreshed;
    return;
  }
  builder.ComputeSignature();
  ++(builder.cache.empty() ? tally.imageUnreadable : tally.signaturesAdded);
}

}  // namespace

CacheGeneration::Range CacheGeneration::ReadRange(const std::string& path) {
  Range range;
  SettingFile settings;
  if (!settings.Load(path)) {
    range.problem = Exists(path.c_str()) ? kSettingsUnreadable : kSettingsMissing;
    return range;
  }
  // The keys stand before any section line.
  const std::string& start = settings.Get("", "START");
  const std::string& end = settings.Get("", "END");
  if (start.empty() || end.empty()) {
    range.problem = kRangeMissing;
  } else if (!ParseId(start, range.start) || !ParseId(end, range.end)) {
    range.problem = kRangeInvalid;
  } else if (range.end < range.start) {
    range.problem = kRangeReversed;
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
  if (!range.problem.empty()) return Refuse(range.problem, kLogPrefix + range.problem);
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
    return Refuse(kRecordsUnreadable, kLogPrefix + kRecordsUnreadable.str());
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
      MakeCacheDirectX builder(context_.session, section, needSignature);
      HandleId(builder, tally_);
      UpdateRecord(builder, *records);
    }
    ++tally_.idsDone;
    ++progress;
    view.SetStatusText(kGenerating + "\n" + std::to_string(progress) + "/" + std::to_string(range.end));
    if (afterEachId_) afterEachId_(tally_);
  }

  view.SetStatusText(kSaving);
  records->UpdateSections();
  auto saved = std::make_shared<SettingFile>();
  for (const std::string& section : records->Sections()) {
    if (!records->Get(section, "CACHE").empty()) KeepRecord(*records, section, *saved);
  }
  saved->UpdateSections();
  // Both files are replaced in one rename each, once complete: a failure
  // keeps the previous file. The database is still built after a failed
  // save, so that it holds this run's records; the run reports the failure.
  const bool savedOk = saved->Save();
  if (savedOk) tally_.recordsSaved = static_cast<std::int64_t>(saved->Sections().size());

  view.SetStatusText(kBuildingDatabase);
  bool exported = false;
  {
    ToSqlite exporter(*saved);
    exported = exporter.Export();
  }
  const bool loaded = context_.cache.Open();
  context_.running.store(false);

  std::string problem;
  if (!savedOk && !exported) {
    problem = kSaveAndExportFailed;
  } else if (!savedOk) {
    problem = kSaveFailed;
  } else if (!exported) {
    problem = kExportFailed;
  } else if (!loaded) {
    problem = kReloadFailed;
  }
  view.SetStatusText(problem.empty() ? kFinished.str() : problem);
  view.EnableControls(true);
  return problem.empty() ? OperationResult::Success() : OperationResult::Failure(problem);
}
