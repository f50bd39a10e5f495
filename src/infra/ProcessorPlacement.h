#pragma once

#include <thread>

// Where threads run, for the few places that hand work between two threads
// and suffer when the two end up taking turns on one processor.

// The processors this process may run on: its affinity mask, which taskset,
// a container or a job scheduler may narrow below the machine's count. At
// least 1.
int ProcessorsAllowed();

// The processor the calling thread runs on now, or -1 when unknown. A
// snapshot: the thread may move at any time.
int CurrentProcessor();

// Restricts `thread` to the allowed processors other than the one the
// calling thread runs on now, so the two start side by side instead of one
// waiting for the other's time slice. False (and nothing changed) when no
// other processor is allowed or the system refuses.
bool KeepOffCurrentProcessor(std::thread& thread);
