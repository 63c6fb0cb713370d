#include "filter/decoder_setup.h"

#include <cpuid.h>

#include <atomic>

#include "decoder/decoder_tables.h"
#include "decoder/video_system.h"
#include "filter/user_interface.h"

namespace halvaris::filter {
namespace {

std::atomic<int> workerCount{1};

std::uint32_t CpuidLeaf1Edx() {
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return 0;
  return edx;
}

}  // namespace

bool HasRequiredProcessorFeatures(std::uint32_t cpuidLeaf1Edx) {
  constexpr std::uint32_t kRequired = (1u << 23) | (1u << 25) | (1u << 26);
  return (cpuidLeaf1Edx & kRequired) == kRequired;
}

int WorkerCountFromAffinity(bool queried, DWORD_PTR systemMask) {
  if (!queried) return 1;
  int count = 0;
  for (int bit = 0; bit < 16; ++bit) {
    if (systemMask & (static_cast<DWORD_PTR>(1) << bit)) ++count;
  }
  if (count < 1) return 1;
  return count > halvaris::kMaxWorkers ? halvaris::kMaxWorkers : count;
}

void BuildDecoderTables() {
  halvaris::BuildDecoderTables();
  if (!HasRequiredProcessorFeatures(CpuidLeaf1Edx())) {
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
