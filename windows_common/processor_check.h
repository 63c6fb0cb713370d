#pragma once

// The processor check of the Windows deliverables: the decoder's SSE2 code needs MMX, SSE and
// SSE2. The filter warns when they are missing; the installer asks before it installs.

#include <cstdint>

namespace halvaris::win32 {

// True when the CPUID leaf 1 EDX bits MMX (23), SSE (25) and SSE2 (26) are all set.
bool HasRequiredProcessorFeatures(std::uint32_t cpuidLeaf1Edx);

// EDX of CPUID leaf 1 on this processor; 0 (no features) when the leaf is not available.
std::uint32_t CpuidLeaf1Edx();

// HasRequiredProcessorFeatures for this processor.
bool ProcessorHasRequiredFeatures();

}  // namespace halvaris::win32
