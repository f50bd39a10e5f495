#include "app/ui/QueuedControlView.h"

#include <QMetaObject>
#include <QTimer>
#include <algorithm>

QueuedControlView::QueuedControlView(ControlView& target, QObject* parent)
    : QObject(parent), target_(target) {}

void QueuedControlView::SetStatusText(const std::string& text) {
  Post(Call{Call::Kind::kStatus, text, false, {}});
}

void QueuedControlView::EnableControls(bool enable) { Post(Call{Call::Kind::kEnable, {}, enable, {}}); }

void QueuedControlView::ClearRows() { Post(Call{Call::Kind::kClear, {}, false, {}}); }

void QueuedControlView::AddRow(const std::vector<std::string>& texts) {
  Post(Call{Call::Kind::kRow, {}, false, texts});
}

void QueuedControlView::ShowVerdict(const std::string& statusText, const std::vector<std::string>& markedRow) {
  Post(Call{Call::Kind::kVerdict, statusText, false, markedRow});
}

void QueuedControlView::Post(Call call) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // A status text that follows another still pending replaces it: a
    // delivery of the batch is already on its way, so nothing is reordered.
    if (call.kind == Call::Kind::kStatus && !pending_.empty() && pending_.back().kind == Call::Kind::kStatus) {
      pending_.back().text = std::move(call.text);
      return;
    }
    pending_.push_back(std::move(call));
    if (deliveryQueued_) return;
    deliveryQueued_ = true;
  }
  QMetaObject::invokeMethod(this, &QueuedControlView::Deliver, Qt::QueuedConnection);
}

void QueuedControlView::Deliver() {
  std::vector<Call> calls;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // Consecutive texts have collapsed, so a lone status call is the only
    // batch that holds nothing but texts.
    const bool onlyStatus = pending_.size() == 1 && pending_.front().kind == Call::Kind::kStatus;
    if (onlyStatus && sinceStatus_.isValid() && sinceStatus_.elapsed() < kStatusIntervalMs) {
      const int wait = kStatusIntervalMs - static_cast<int>(sinceStatus_.elapsed());
      QTimer::singleShot(std::max(wait, 1), this, &QueuedControlView::Deliver);
      return;
    }
    calls.swap(pending_);
    deliveryQueued_ = false;
  }
  Apply(calls);
}

void QueuedControlView::Flush() {
  std::vector<Call> calls;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // A Deliver still on its way finds nothing and clears deliveryQueued_.
    calls.swap(pending_);
  }
  Apply(calls);
}

void QueuedControlView::Apply(std::vector<Call>& calls) {
  for (Call& call : calls) {
    switch (call.kind) {
      case Call::Kind::kStatus:
        target_.SetStatusText(call.text);
        sinceStatus_.start();
        break;
      case Call::Kind::kEnable: target_.EnableControls(call.enable); break;
      case Call::Kind::kClear: target_.ClearRows(); break;
      case Call::Kind::kRow: target_.AddRow(call.texts); break;
      case Call::Kind::kVerdict:
        target_.ShowVerdict(call.text, call.texts);
        sinceStatus_.start();
        break;
    }
  }
}
