#include "cli/TerminalView.h"

#include "infra/TextEncoding.h"

namespace {

std::string PrintableUtf8(const std::string& sjis) {
  std::string text = Cp932ToUtf8(sjis);
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) c = ' ';
  }
  return text;
}

}  // namespace

void TerminalView::SetStatusText(const std::string& text) {
  lastStatus_ = text;
  if (quiet_) return;
  if (text.find('\n') != std::string::npos) {
    if (!interactive_) return;
    std::fprintf(status_, "\r\033[K%s", PrintableUtf8(text).c_str());
    std::fflush(status_);
    progressShown_ = true;
    return;
  }
  EndProgressLine();
  std::fprintf(status_, "%s\n", PrintableUtf8(text).c_str());
  std::fflush(status_);
}

void TerminalView::EndProgressLine() {
  if (!progressShown_) return;
  std::fputs("\r\033[K", status_);
  progressShown_ = false;
}

void TerminalView::PrintRows(std::FILE* out) const {
  // Control's rows are title, poster, id, difference; the terminal leads
  // with the difference, which is what a reader scans first.
  for (const auto& row : rows_) {
    if (row.size() < 4) continue;
    std::fprintf(out, "%s\t%s\t%s\t%s\n", PrintableUtf8(row[3]).c_str(), PrintableUtf8(row[2]).c_str(),
                 PrintableUtf8(row[0]).c_str(), PrintableUtf8(row[1]).c_str());
  }
  std::fflush(out);
}
