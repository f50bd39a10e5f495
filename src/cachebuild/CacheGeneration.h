#pragma once

class Control;

// The cache generation run: walks the id range of "cache_setting.ini", keeps
// the records in "cache.ini", exports them into "cache.db" and reloads it.
class CacheGeneration {
 public:
  explicit CacheGeneration(Control& control) : control_(control) {}
  void Run();

 private:
  Control& control_;
};
