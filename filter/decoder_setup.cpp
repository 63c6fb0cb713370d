#include "decoder_setup.h"

#include <atomic>

#include "halvaris/halvaris.h"
#include "processor_check.h"
#include "user_interface.h"

namespace halvaris::filter {
namespace {

std::atomic<int> workerCount{1};

}  // namespace

int WorkerCountFromAffinity(bool queried, DWORD_PTR systemMask) {
  if (!queried) return 1;
  int count = 0;
  for (int bit = 0; bit < 16; ++bit) {
    if (systemMask & (static_cast<DWORD_PTR>(1) << bit)) ++count;
  }
  if (count < 1) return 1;
  return count > HALVARIS_MAX_WORKERS ? HALVARIS_MAX_WORKERS : count;
}

void BuildDecoderTables() {
  if (!win32::ProcessorHasRequiredFeatures()) {
    // A warning only: decoding is attempted all the same.
    ShowMessage(
        "Your processor is not Pentium 4/Athlon 64 compatible\nHalvaris will not function "
        "properly",
        "Halvaris");
  }
  DWORD_PTR processMask = 0;
  DWORD_PTR systemMask = 0;
  const bool queried =
      GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask) != FALSE;
  workerCount = WorkerCountFromAffinity(queried, systemMask);
}

int CurrentWorkerCount() {
  return workerCount;
}

}  // namespace halvaris::filter
