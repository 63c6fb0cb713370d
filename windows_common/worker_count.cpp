#include "worker_count.h"

#include "halvaris/halvaris.h"

namespace halvaris::win32 {

int WorkerCountFromAffinity(bool queried, DWORD_PTR systemMask) {
  if (!queried) return 1;
  int count = 0;
  for (int bit = 0; bit < 16; ++bit) {
    if (systemMask & (static_cast<DWORD_PTR>(1) << bit)) ++count;
  }
  if (count < 1) return 1;
  return count > HALVARIS_MAX_WORKERS ? HALVARIS_MAX_WORKERS : count;
}

int WorkerCountOfThisMachine() {
  DWORD_PTR processMask = 0;
  DWORD_PTR systemMask = 0;
  const bool queried =
      GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask) != FALSE;
  return WorkerCountFromAffinity(queried, systemMask);
}

}  // namespace halvaris::win32
