#include "app/ui/OperationRunner.h"

#include <QMetaObject>

OperationRunner::OperationRunner(QObject* parent) : QObject(parent) {}

OperationRunner::~OperationRunner() { Wait(); }

bool OperationRunner::Start(std::function<void()> work) {
  if (busy_) return false;
  Wait();  // the previous worker has returned; reclaim its thread
  busy_ = true;
  worker_ = std::thread([this, work = std::move(work)] {
    work();
    // Posted after everything the work queued, so it is handled after them.
    QMetaObject::invokeMethod(this, &OperationRunner::Complete, Qt::QueuedConnection);
  });
  return true;
}

void OperationRunner::Wait() {
  if (worker_.joinable()) worker_.join();
}

void OperationRunner::Complete() {
  Wait();
  busy_ = false;
  emit Finished();
}
