#include <gtest/gtest.h>

#include <windows.h>
#include <pthread.h>

#include <future>
#include <thread>

#include "infra/IdleCores.h"
#include "infra/ProcessorPlacement.h"

namespace {

int Count(DWORD_PTR mask) {
  int count = 0;
  for (; mask != 0; mask &= mask - 1) ++count;
  return count;
}

// A process started on one processor (start /affinity, a job) has no idle
// processor for a second thread, however many the machine has; with more, a
// kept-off thread may run on all the others.
TEST(IdleCoresTest, CountsOnlyTheProcessorsThisProcessMayUse) {
  DWORD_PTR process = 0, system = 0;
  ASSERT_TRUE(::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system));
  const int allowed = ProcessorsAllowed();
  ASSERT_EQ(allowed, Count(process));
  const DWORD_PTR lowest = process & (~process + 1);
  ASSERT_TRUE(::SetProcessAffinityMask(::GetCurrentProcess(), lowest));
  EXPECT_EQ(ProcessorsAllowed(), 1);
  EXPECT_EQ(IdleCores(), 0);
  {
    std::promise<void> done;
    std::thread other([&] { done.get_future().wait(); });
    EXPECT_FALSE(KeepOffCurrentProcessor(other));
    done.set_value();
    other.join();
  }
  ASSERT_TRUE(::SetProcessAffinityMask(::GetCurrentProcess(), process));
  if (allowed < 2) GTEST_SKIP() << "one processor: nothing to keep a thread off";
  std::promise<void> done;
  std::thread other([&] { done.get_future().wait(); });  // alive while it is placed
  EXPECT_TRUE(KeepOffCurrentProcessor(other));
  // The previous mask comes back when a new one is set.
  const DWORD_PTR placed = ::SetThreadAffinityMask(pthread_gethandle(other.native_handle()), process);
  EXPECT_EQ(Count(placed), allowed - 1);
  done.set_value();
  other.join();
}

}  // namespace
