#pragma once

#include "control/OperationContext.h"

// The cache generation run: walks the id range of "cache_setting.ini", keeps
// the records in "cache.ini", exports them into "cache.db" and reloads it.
class CacheGeneration {
 public:
  explicit CacheGeneration(const OperationContext& context) : context_(context) {}
  void Run();

 private:
  OperationContext context_;
};
