#include "app/shared/ResultColumns.h"

#include "infra/TextEncoding.h"

std::vector<std::string> ResultColumns::Titles() {
  return {SjisText(u8"タイトル").str(), SjisText(u8"投稿者").str(), SjisText(u8"ID").str(), SjisText(u8"差異").str()};
}

std::vector<int> ResultColumns::DefaultWidths() { return {200, 150, 100, 100}; }

std::string ResultColumns::IdOf(const std::vector<std::string>& texts) {
  return texts.size() > static_cast<std::size_t>(kId) ? texts[kId] : std::string();
}
