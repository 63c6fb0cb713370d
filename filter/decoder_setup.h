#pragma once

// What every CheckTransform renews: the processor warning and the number of decode workers.

#include <windows.h>

#include "worker_count.h"

namespace halvaris::filter {

// Workers for a system affinity mask: the set bits among bits 0..15, at least 1 and at most 8.
// Shared with the Control Panel program, which shows the count.
using win32::WorkerCountFromAffinity;

// Warns if the processor lacks MMX, SSE or SSE2, and counts the workers. The decoder's constant
// tables need no step here: the library builds them when the first decoder is created.
void BuildDecoderTables();

// The worker count of the last BuildDecoderTables; 1 before the first.
int CurrentWorkerCount();

}  // namespace halvaris::filter
