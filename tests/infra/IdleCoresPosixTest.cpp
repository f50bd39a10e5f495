#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>

#include <future>
#include <thread>

#include "infra/IdleCores.h"
#include "infra/ProcessorPlacement.h"

namespace {

// A process narrowed to one processor (taskset, a container) has no idle
// processor for a second thread, however many the machine has; with more, a
// kept-off thread may run on all the others.
TEST(IdleCoresTest, CountsOnlyTheProcessorsThisThreadMayUse) {
  const int allowed = ProcessorsAllowed();
  ASSERT_GE(allowed, 1);
  std::thread([] {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    ASSERT_EQ(pthread_setaffinity_np(pthread_self(), sizeof one, &one), 0);
    EXPECT_EQ(ProcessorsAllowed(), 1);
    EXPECT_EQ(IdleCores(), 0);
    std::promise<void> done;
    std::thread other([&] { done.get_future().wait(); });
    EXPECT_FALSE(KeepOffCurrentProcessor(other));
    done.set_value();
    other.join();
  }).join();
  if (allowed < 2) GTEST_SKIP() << "one processor: nothing to keep a thread off";
  std::promise<void> done;
  std::thread other([&] { done.get_future().wait(); });  // alive while it is placed
  EXPECT_TRUE(KeepOffCurrentProcessor(other));
  cpu_set_t placed;
  CPU_ZERO(&placed);
  EXPECT_EQ(pthread_getaffinity_np(other.native_handle(), sizeof placed, &placed), 0);
  EXPECT_EQ(CPU_COUNT(&placed), allowed - 1);
  done.set_value();
  other.join();
}

}  // namespace
