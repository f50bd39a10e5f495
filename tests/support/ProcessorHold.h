#pragma once

// Holds the calling thread to the processor it runs on now, as under taskset
// or a one-processor container; true when the system agreed.
bool HoldToCurrentProcessor();
