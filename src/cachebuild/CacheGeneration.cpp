#include "cachebuild/CacheGeneration.h"

// PLACEHOLDER: replaced by the cache-building work.
void CacheGeneration::Run() {}
