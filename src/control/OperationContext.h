#pragma once

#include <atomic>

class CacheDatabase;
class ControlView;
class InternetSession;

// What an operation of Control works with. Every reference outlives the
// operation; `running` is the stop flag that Abort clears from any thread.
struct OperationContext {
  ControlView& view;
  InternetSession& session;
  CacheDatabase& cache;
  std::atomic<bool>& running;
};
