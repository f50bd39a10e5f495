#include "infra/SettingFile.h"

#include <cstdio>
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

bool SettingFile::Load(const std::string& fileName) {
  File file(std::fopen(fileName.c_str(), "rb"));
  if (!file) return false;

  // Parsed into a copy first, so a refused file leaves the table as it was.
  auto sections = sections_;
  std::string current;
  std::string line;
  line.reserve(256);
  char buffer[4096];
  bool atEnd = false;
  while (!atEnd) {
    line.clear();
    bool complete = false;
    while (!complete) {
      if (!std::fgets(buffer, sizeof buffer, file.get())) {
        atEnd = true;
        break;
      }
      line += buffer;
      complete = !line.empty() && line.back() == '\n';
      if (line.size() > kMaxLineBytes + 1) return false;
    }
    // A CR before the line feed is not counted: Save writes every line with
    // one, so the longest line read without it must still read back.
    const bool crlf = complete && line.size() >= 2 && line[line.size() - 2] == '\r';
    if (line.size() > kMaxLineBytes + (crlf ? 1 : 0)) return false;
    if (line.empty()) continue;
    if (line.back() == '\n') {
      line.pop_back();
      if (!line.empty() && line.back() == '\r') line.pop_back();
    }
    if (line.empty() || line.starts_with("//")) continue;
    if (line.front() == '[') {
      // The name is the line without its first and last byte; "[" alone names "".
      current = line.size() > 1 ? line.substr(1, line.size() - 2) : std::string();
      continue;
    }
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    sections[current][line.substr(0, equals)] = line.substr(equals + 1);
  }
  if (std::ferror(file.get())) return false;
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
