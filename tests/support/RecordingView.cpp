#include "support/RecordingView.h"

void RecordingView::SetStatusText(const std::string& text) {
  std::lock_guard lock(mutex_);
  calls_.push_back({Call::Kind::kStatus, text, false, {}});
}

void RecordingView::EnableControls(bool enable) {
  std::lock_guard lock(mutex_);
  calls_.push_back({Call::Kind::kEnable, {}, enable, {}});
}

void RecordingView::ClearRows() {
  std::lock_guard lock(mutex_);
  calls_.push_back({Call::Kind::kClear, {}, false, {}});
}

void RecordingView::AddRow(const std::vector<std::string>& texts) {
  std::lock_guard lock(mutex_);
  calls_.push_back({Call::Kind::kRow, {}, false, texts});
}

std::vector<RecordingView::Call> RecordingView::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<std::string> RecordingView::StatusTexts() const {
  std::vector<std::string> texts;
  for (const Call& call : Calls()) {
    if (call.kind == Call::Kind::kStatus) texts.push_back(call.text);
  }
  return texts;
}

std::string RecordingView::LastStatus() const {
  const std::vector<std::string> texts = StatusTexts();
  return texts.empty() ? std::string() : texts.back();
}

std::vector<bool> RecordingView::EnableCalls() const {
  std::vector<bool> enables;
  for (const Call& call : Calls()) {
    if (call.kind == Call::Kind::kEnable) enables.push_back(call.enable);
  }
  return enables;
}

std::vector<std::vector<std::string>> RecordingView::Rows() const {
  std::vector<std::vector<std::string>> rows;
  for (const Call& call : Calls()) {
    if (call.kind == Call::Kind::kClear) rows.clear();
    if (call.kind == Call::Kind::kRow) rows.push_back(call.texts);
  }
  return rows;
}

void RecordingView::Forget() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}
