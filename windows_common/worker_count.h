#pragma once

// How many decode workers the decoder filter runs on this machine. The Control Panel program
// shows the same number, so the rule lives here, shared by both.

#include <windows.h>

namespace halvaris::win32 {

// Workers for a system affinity mask: the set bits among bits 0..15, at least 1 and at most the
// decoder's maximum (8). `queried` false (GetProcessAffinityMask failed) gives 1.
int WorkerCountFromAffinity(bool queried, DWORD_PTR systemMask);

// WorkerCountFromAffinity for the system affinity mask of the calling process.
int WorkerCountOfThisMachine();

}  // namespace halvaris::win32
