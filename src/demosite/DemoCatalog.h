#pragma once

#include <string>
#include <vector>

// One image of the demo site with what its page shows. Texts are UTF-8.
struct DemoEntry {
  int id = 0;
  std::string title;
  std::string poster;      // without the honorific the page adds
  std::string directory;   // below /mofuimg/img/
  std::string fileName;    // the last part of the image address
  std::string contentType;
  std::string bytes;       // the image file as served
  bool adult = false;
  bool shortFirstPage = false;  // the first page address gives a stub page
  int good = 0;
  int bad = 0;

  // "/mofuimg/img/<directory>/<fileName>".
  std::string ImagePath() const;
  // The name `--export-images` writes: the id in four digits and the extension.
  std::string ExportName() const;
};

// The whole demo site: ids 1 to LastId(), each with a generated picture in
// JPEG, PNG or GIF, except the ids IsMissing names (their pages answer 404).
// Fully determined by the last id: the same bytes on every start.
// Built once, then read-only and safe to share between threads.
class DemoCatalog {
 public:
  static constexpr int kDefaultLastId = 300;

  // Renders and encodes every picture (about a second for the default size).
  explicit DemoCatalog(int lastId = kDefaultLastId);

  int LastId() const { return lastId_; }
  const std::vector<DemoEntry>& Entries() const { return entries_; }
  // nullptr for a missing or unknown id.
  const DemoEntry* Find(int id) const;
  // The entry whose ImagePath() is `path`; nullptr when none.
  const DemoEntry* FindImage(const std::string& path) const;

  // Ids without a page: every 29th.
  static bool IsMissing(int id) { return id % 29 == 0; }

  // Writes every picture into `directory` (created when missing) under its
  // ExportName(). False, with `error` set, on the first failure.
  bool ExportImages(const std::string& directory, std::string& error) const;

 private:
  int lastId_;
  std::vector<DemoEntry> entries_;
};
