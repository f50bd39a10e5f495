#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A two-level table of byte strings, section -> key -> value, with its
// INI-like file form:
//   [section]         opens a section (the name is the line without its last byte)
//   key=value         the key is everything before the first '=', kept as written
//   // comment        ignored, as are empty lines
// Keys before the first section line belong to the section named "".
// Lines end in LF; one CR before it is dropped. Lines are written CR LF.
// Both levels are ordered byte-wise, so sections "9", "10", "100" come as
// "10", "100", "9". Not thread-safe.
class SettingFile {
 public:
  // Longest line accepted, its line feed included (a CR before the line
  // feed does not count).
  static constexpr size_t kMaxLineBytes = 65535;

  SettingFile() = default;
  virtual ~SettingFile() = default;

  // Adds the entries of `fileName` to the table (nothing is cleared first)
  // and rebuilds the section list. Returns false and changes nothing if the
  // file cannot be opened or holds a line longer than kMaxLineBytes.
  // A line that is not empty, a comment or a section and has no '=' is skipped.
  bool Load(const std::string& fileName);

  // Writes the whole table to "cache.ini" in the current directory. The file
  // is replaced in one rename once the new content is complete on disk, so a
  // failure at any point keeps the previous file. Returns false on failure.
  bool Save() const;

  // As Save, to another file name.
  bool SaveAs(const std::string& fileName) const;

  // The value, or an empty string when the section or key is missing.
  const std::string& Get(const std::string& section, const std::string& key) const;
  void Set(const std::string& section, const std::string& key, const std::string& value);

  // 0 for a missing or empty value, -1 when any byte is not an ASCII digit,
  // else the decimal value (leading zeros allowed).
  std::int64_t GetInt(const std::string& section, const std::string& key) const;
  void SetInt(const std::string& section, const std::string& key, std::int32_t number);

  // Rebuilds the section list from the table; call after changing sections
  // and before walking Sections().
  void UpdateSections();
  const std::vector<std::string>& Sections() const { return sectionList_; }

 private:
  using Section = std::map<std::string, std::string>;
  std::map<std::string, Section> sections_;
  std::vector<std::string> sectionList_;
};
