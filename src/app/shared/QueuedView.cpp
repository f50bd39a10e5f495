#include "app/shared/QueuedView.h"

#include <algorithm>
#include <utility>

QueuedView::QueuedView(ControlView& target, std::function<void()> wake)
    : target_(target), wake_(std::move(wake)) {}

void QueuedView::SetStatusText(const std::string& text) { Post(Call{Call::Kind::kStatus, text, false, {}}); }

void QueuedView::EnableControls(bool enable) { Post(Call{Call::Kind::kEnable, {}, enable, {}}); }

void QueuedView::ClearRows() { Post(Call{Call::Kind::kClear, {}, false, {}}); }

void QueuedView::AddRow(const std::vector<std::string>& texts) { Post(Call{Call::Kind::kRow, {}, false, texts}); }

void QueuedView::ShowVerdict(const std::string& statusText, const std::vector<std::string>& markedRow) {
  Post(Call{Call::Kind::kVerdict, statusText, false, markedRow});
}

void QueuedView::Post(Call call) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // A status text that follows another still pending replaces it: a
    // delivery of the batch is already due, so nothing is reordered.
    if (call.kind == Call::Kind::kStatus && !pending_.empty() && pending_.back().kind == Call::Kind::kStatus) {
      pending_.back().text = std::move(call.text);
      return;
    }
    pending_.push_back(std::move(call));
    if (deliveryDue_) return;
    deliveryDue_ = true;
  }
  // Outside the lock: a toolkit may deliver at once on its own thread.
  wake_();
}

std::chrono::milliseconds QueuedView::Deliver(Clock::time_point now) {
  std::vector<Call> calls;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // Consecutive texts have collapsed, so a lone status call is the only
    // batch that holds nothing but texts.
    const bool onlyStatus = pending_.size() == 1 && pending_.front().kind == Call::Kind::kStatus;
    if (onlyStatus && lastStatus_ && now - *lastStatus_ < kStatusInterval) {
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(kStatusInterval - (now - *lastStatus_));
      return std::max(wait, std::chrono::milliseconds(1));
    }
    calls.swap(pending_);
    deliveryDue_ = false;
  }
  Apply(calls, now);
  return std::chrono::milliseconds(0);
}

void QueuedView::Flush(Clock::time_point now) {
  std::vector<Call> calls;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // deliveryDue_ stays: the delivery on its way finds nothing and clears it.
    calls.swap(pending_);
  }
  Apply(calls, now);
}

void QueuedView::Apply(std::vector<Call>& calls, Clock::time_point now) {
  for (Call& call : calls) {
    switch (call.kind) {
      case Call::Kind::kStatus:
        target_.SetStatusText(call.text);
        lastStatus_ = now;
        break;
      case Call::Kind::kEnable: target_.EnableControls(call.enable); break;
      case Call::Kind::kClear: target_.ClearRows(); break;
      case Call::Kind::kRow: target_.AddRow(call.texts); break;
      case Call::Kind::kVerdict:
        target_.ShowVerdict(call.text, call.texts);
        lastStatus_ = now;
        break;
    }
  }
}
