#pragma once

class Control;

// The cache-update operation: fetches the prebuilt "cache.db" from the cache
// server, replaces the local one only with a verified complete copy, and
// reloads it, showing progress on the control's view.
class CacheUpdate {
 public:
  explicit CacheUpdate(Control& control) : control_(control) {}
  void Run();

 private:
  Control& control_;
};
