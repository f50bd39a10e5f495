#include "app/ui/QueuedControlView.h"

#include <QMetaObject>

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

void QueuedControlView::Post(Call call) {
  bool first;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // A status text that follows another still pending replaces it: the
    // batch's delivery is already posted, so nothing is reordered.
    if (call.kind == Call::Kind::kStatus && !pending_.empty() && pending_.back().kind == Call::Kind::kStatus) {
      pending_.back().text = std::move(call.text);
      return;
    }
    first = pending_.empty();
    pending_.push_back(std::move(call));
  }
  // One delivery per batch: later calls join the batch until it is taken.
  if (first) QMetaObject::invokeMethod(this, &QueuedControlView::Deliver, Qt::QueuedConnection);
}

void QueuedControlView::Deliver() {
  std::vector<Call> calls;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    calls.swap(pending_);
  }
  for (Call& call : calls) {
    switch (call.kind) {
      case Call::Kind::kStatus: target_.SetStatusText(call.text); break;
      case Call::Kind::kEnable: target_.EnableControls(call.enable); break;
      case Call::Kind::kClear: target_.ClearRows(); break;
      case Call::Kind::kRow: target_.AddRow(call.texts); break;
    }
  }
}
