#include "app/ui/QueuedControlView.h"

#include <QMetaObject>
#include <QTimer>

QueuedControlView::QueuedControlView(ControlView& target, QObject* parent)
    : QObject(parent),
      queue_(target, [this] { QMetaObject::invokeMethod(this, &QueuedControlView::Deliver, Qt::QueuedConnection); }) {}

void QueuedControlView::Deliver() {
  const std::chrono::milliseconds wait = queue_.Deliver();
  if (wait.count() > 0) QTimer::singleShot(wait, this, &QueuedControlView::Deliver);
}
