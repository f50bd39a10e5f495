#include "infra/SettingFile.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "infra/AtomicFile.h"
#include "infra/NumberToString.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

const std::string& Empty() {
  static const std::string empty;
  return empty;
}

}  // namespace

namespace {

using SectionTable = std::map<std::string, std::map<std::string, std::string>>;

// Adds one line (with its line feed, if it had one) to `sections`, tracking
// the current section. False for a line over the limit.
bool TakeLine(std::string& line, std::string& current, SectionTable& sections) {
  // A CR before the line feed is not counted: Save writes every line with
  // one, so the longest line read without it must still read back.
  const bool complete = !line.empty() && line.back() == '\n';
  const bool crlf = complete && line.size() >= 2 && line[line.size() - 2] == '\r';
  if (line.size() > SettingFile::kMaxLineBytes + (crlf ? 1 : 0)) return false;
  if (complete) {
    line.pop_back();
    if (crlf) line.pop_back();
  }
  if (line.empty() || line.starts_with("//")) return true;
  if (line.front() == '[') {
    // The name is the line without its first and last byte; "[" alone names "".
    current = line.size() > 1 ? line.substr(1, line.size() - 2) : std::string();
    return true;
  }
  const auto equals = line.find('=');
  if (equals != std::string::npos) sections[current][line.substr(0, equals)] = line.substr(equals + 1);
  return true;
}

}  // namespace

bool SettingFile::Load(const std::string& fileName) {
  File file(std::fopen(fileName.c_str(), "rb"));
  if (!file) return false;

  // Parsed into a copy first, so a refused file leaves the table as it was.
  // Read in blocks rather than by C strings, so a zero byte is kept as data.
  SectionTable sections = sections_;
  std::string current;
  std::string line;
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    const char* const end = buffer + got;
    for (const char* at = buffer; at < end;) {
      const auto* feed = static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at)));
      const char* const stop = feed ? feed + 1 : end;
      line.append(at, stop);
      at = stop;
      if (line.size() > kMaxLineBytes + 1) return false;
      if (feed) {
        if (!TakeLine(line, current, sections)) return false;
        line.clear();
      }
    }
  }
  if (std::ferror(file.get())) return false;
  if (!line.empty() && !TakeLine(line, current, sections)) return false;
  sections_ = std::move(sections);
  UpdateSections();
  return true;
}

bool SettingFile::Save() const { return SaveAs("cache.ini"); }

bool SettingFile::SaveAs(const std::string& fileName) const {
  std::string content;
  for (const auto& [name, keys] : sections_) {
    content += '[';
    content += name;
    content += "]\r\n";
    for (const auto& [key, value] : keys) {
      content += key;
      content += '=';
      content += value;
      content += "\r\n";
    }
  }
  return WriteFileAtomically(fileName, content);
}

const std::string& SettingFile::Get(const std::string& section, const std::string& key) const {
  const auto found = sections_.find(section);
  if (found == sections_.end()) return Empty();
  const auto value = found->second.find(key);
  return value == found->second.end() ? Empty() : value->second;
}

void SettingFile::Set(const std::string& section, const std::string& key, const std::string& value) {
  sections_[section][key] = value;
}

std::int64_t SettingFile::GetInt(const std::string& section, const std::string& key) const {
  const std::string& value = Get(section, key);
  std::uint64_t number = 0;
  for (const char c : value) {
    if (c < '0' || c > '9') return -1;
    // Wraps like the platform's conversion for values past 64 bits.
    number = number * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return static_cast<std::int64_t>(number);
}

void SettingFile::SetInt(const std::string& section, const std::string& key, std::int32_t number) {
  Set(section, key, NumberToString(number, 0));
}

void SettingFile::UpdateSections() {
  sectionList_.clear();
  sectionList_.reserve(sections_.size());
  for (const auto& entry : sections_) sectionList_.push_back(entry.first);
}
