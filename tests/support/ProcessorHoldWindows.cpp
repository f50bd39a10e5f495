#include "support/ProcessorHold.h"

#include <windows.h>

bool HoldToCurrentProcessor() {
  const DWORD here = ::GetCurrentProcessorNumber();
  if (here >= sizeof(DWORD_PTR) * 8) return false;
  return ::SetThreadAffinityMask(::GetCurrentThread(), DWORD_PTR{1} << here) != 0;
}
