#pragma once

#include <optional>
#include <string_view>

// How many of the processors this process may run on (ProcessorsAllowed)
// nothing else is running on right now, not counting the calling thread's
// own: whether a second thread would have a processor to itself or only
// take turns with other work. A snapshot (the kernel's count of runnable
// tasks in /proc/loadavg), good for deciding, never for correctness. Where
// the count cannot be read, assumes an otherwise idle machine. Any thread
// may call it.
int IdleCores();

// The runnable tasks in a /proc/loadavg line ("0.52 0.58 0.59 3/467 12345":
// 3, the caller included); nothing when the line is not of that form.
std::optional<int> RunnableTasks(std::string_view loadavg);
