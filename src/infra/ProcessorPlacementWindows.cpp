#include "infra/ProcessorPlacement.h"

#include <windows.h>
#include <pthread.h>

int ProcessorsAllowed() {
  DWORD_PTR process = 0, system = 0;
  if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) && process != 0) {
    int count = 0;
    for (DWORD_PTR mask = process; mask != 0; mask &= mask - 1) ++count;
    return count;
  }
  const unsigned online = std::thread::hardware_concurrency();
  return online >= 1 ? static_cast<int>(online) : 1;
}

int CurrentProcessor() { return static_cast<int>(::GetCurrentProcessorNumber()); }

bool KeepOffCurrentProcessor(std::thread& thread) {
  DWORD_PTR process = 0, system = 0;
  if (!::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system)) return false;
  const DWORD here = ::GetCurrentProcessorNumber();
  if (here >= sizeof(DWORD_PTR) * 8 || (process & (DWORD_PTR{1} << here)) == 0) return false;
  const DWORD_PTR others = process & ~(DWORD_PTR{1} << here);
  if (others == 0) return false;
  // std::thread is a winpthreads thread here; its system handle is asked of it.
  const HANDLE handle = pthread_gethandle(thread.native_handle());
  return handle != nullptr && ::SetThreadAffinityMask(handle, others) != 0;
}
