#include "support/ProcessorHold.h"

#include <pthread.h>
#include <sched.h>

bool HoldToCurrentProcessor() {
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(sched_getcpu(), &one);
  return pthread_setaffinity_np(pthread_self(), sizeof one, &one) == 0;
}
