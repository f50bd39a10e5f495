#include "control/CacheGeneration.h"

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>

#include "infra/Log.h"
#include "cachebuild/MakeCacheDirectX.h"
#include "cachebuild/ToSqlite.h"
#include "infra/AtomicFile.h"
#include "infra/NumberToString.h"
#include "infra/SettingFile.h"
#include "infra/TextEncoding.h"
#include "control/ControlView.h"
#include "search/CacheDatabase.h"

namespace {

const SjisText kGenerating{u8"キャッシュ生成中"};
const SjisText kSaving{u8"キャッシュ保存中"};
const SjisText kBuildingDatabase{u8"データベース生成中"};
const SjisText kFinished{u8"キャッシュ生成終了"};
const SjisText kRecordsUnreadable{u8"cache.iniの読み込みに失敗しました"};
const SjisText kRecordsUnreadableLog{u8"CacheGeneration::Run() : cache.iniの読み込みに失敗しました"};

bool Exists(const char* path) {
  struct stat info {};
  return ::stat(path, &info) == 0;
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

}  // namespace

void CacheGeneration::Run() {
  context_.cache.Release();
  // What an earlier run that was killed before its renames left behind.
  RemoveStaleTemporaryFiles("cache.ini");
  RemoveStaleTemporaryFiles("cache.db");
  ControlView& view = context_.view;
  view.EnableControls(false);
  context_.running.store(true);

  SettingFile settings;
  settings.Load("cache_setting.ini");
  const auto start = static_cast<std::int32_t>(settings.GetInt("", "START"));
  const auto end = static_cast<std::int32_t>(settings.GetInt("", "END"));

  auto records = std::make_shared<SettingFile>();
  // A record file that is there but cannot be read (a line past the setting
  // file's limit, a read error) would be replaced at the end by this run's
  // records alone, losing every earlier signature: the run stops before its
  // first id instead and leaves "cache.ini" and "cache.db" as they are.
  if (!records->Load("cache.ini") && Exists("cache.ini")) {
    WriteLog(kRecordsUnreadableLog);
    context_.cache.Open();
    view.SetStatusText(kRecordsUnreadable);
    context_.running.store(false);
    view.EnableControls(true);
    return;
  }

  // 64-bit, so that a range ending at the largest id still ends.
  std::int64_t progress = start;
  for (std::int64_t id = start; id <= end && context_.running.load(); ++id) {
    const std::string section = NumberToString(static_cast<std::int32_t>(id), 0);
    const bool needSignature = records->Get(section, "CACHE").empty();
    {
      MakeCacheDirectX builder(context_.session, section, needSignature);
      if (builder.DownloadPHP() && builder.DownloadImage() && needSignature) builder.ComputeSignature();
      UpdateRecord(builder, *records);
    }
    ++progress;
    view.SetStatusText(kGenerating + "\n" + std::to_string(progress) + "/" + std::to_string(end));
  }

  view.SetStatusText(kSaving);
  records->UpdateSections();
  auto saved = std::make_shared<SettingFile>();
  for (const std::string& section : records->Sections()) {
    if (!records->Get(section, "CACHE").empty()) KeepRecord(*records, section, *saved);
  }
  saved->UpdateSections();
  // Both files are replaced in one rename each, once complete: a failure
  // keeps the previous file. The run goes on either way.
  saved->Save();

  view.SetStatusText(kBuildingDatabase);
  {
    ToSqlite exporter(*saved);
    exporter.Export();
  }
  context_.cache.Open();
  view.SetStatusText(kFinished);
  context_.running.store(false);
  view.EnableControls(true);
}
