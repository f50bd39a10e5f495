#include "infra/ProcessorPlacement.h"

#include <pthread.h>
#include <sched.h>

int ProcessorsAllowed() {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) >= 1) return CPU_COUNT(&allowed);
  const unsigned online = std::thread::hardware_concurrency();
  return online >= 1 ? static_cast<int>(online) : 1;
}

int CurrentProcessor() { return sched_getcpu(); }

bool KeepOffCurrentProcessor(std::thread& thread) {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return false;
  const int here = sched_getcpu();
  if (here < 0 || !CPU_ISSET(here, &allowed)) return false;
  CPU_CLR(here, &allowed);
  if (CPU_COUNT(&allowed) == 0) return false;
  return pthread_setaffinity_np(thread.native_handle(), sizeof allowed, &allowed) == 0;
}
