#include "search/CacheUpdate.h"

// PLACEHOLDER: replaced by the HTTP work.
void CacheUpdate::Run() {}
