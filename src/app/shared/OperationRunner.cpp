#include "app/shared/OperationRunner.h"

#include <utility>

OperationRunner::OperationRunner(Post post, std::function<void()> finished)
    : post_(std::move(post)), finished_(std::move(finished)) {}

OperationRunner::~OperationRunner() { Wait(); }

bool OperationRunner::Start(std::function<void()> work) {
  if (busy_) return false;
  Wait();  // the previous worker has returned; reclaim its thread
  busy_ = true;
  worker_ = std::thread([this, work = std::move(work)] {
    work();
    // Posted after everything the work queued, so it is handled after them.
    post_([this] { Complete(); });
  });
  return true;
}

void OperationRunner::Wait() {
  if (worker_.joinable()) worker_.join();
}

void OperationRunner::Complete() {
  Wait();
  busy_ = false;
  if (finished_) finished_();
}
