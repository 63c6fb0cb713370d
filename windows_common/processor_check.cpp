#include "processor_check.h"

#include <cpuid.h>

namespace halvaris::win32 {

bool HasRequiredProcessorFeatures(std::uint32_t cpuidLeaf1Edx) {
  constexpr std::uint32_t mmx = 1u << 23;
  constexpr std::uint32_t sse = 1u << 25;
  constexpr std::uint32_t sse2 = 1u << 26;
  constexpr std::uint32_t required = mmx | sse | sse2;
  return (cpuidLeaf1Edx & required) == required;
}

std::uint32_t CpuidLeaf1Edx() {
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return 0;
  return edx;
}

bool ProcessorHasRequiredFeatures() {
  return HasRequiredProcessorFeatures(CpuidLeaf1Edx());
}

}  // namespace halvaris::win32
