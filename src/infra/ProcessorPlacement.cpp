#include "infra/ProcessorPlacement.h"

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

int ProcessorsAllowed() {
#if defined(__linux__)
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) >= 1) return CPU_COUNT(&allowed);
#endif
  const unsigned online = std::thread::hardware_concurrency();
  return online >= 1 ? static_cast<int>(online) : 1;
}

int CurrentProcessor() {
#if defined(__linux__)
  return sched_getcpu();
#else
  return -1;
#endif
}

bool KeepOffCurrentProcessor(std::thread& thread) {
#if defined(__linux__)
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return false;
  const int here = sched_getcpu();
  if (here < 0 || !CPU_ISSET(here, &allowed)) return false;
  CPU_CLR(here, &allowed);
  if (CPU_COUNT(&allowed) == 0) return false;
  return pthread_setaffinity_np(thread.native_handle(), sizeof allowed, &allowed) == 0;
#else
  (void)thread;
  return false;
#endif
}
