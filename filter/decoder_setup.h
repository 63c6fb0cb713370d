#pragma once

// What every CheckTransform renews: the decoder's constant tables, the processor warning and the
// number of decode workers.

#include <windows.h>

#include <cstdint>

namespace halvaris::filter {

// CPUID leaf 1 EDX bits the SSE2 decoder needs: MMX (23), SSE (25), SSE2 (26).
bool HasRequiredProcessorFeatures(std::uint32_t cpuidLeaf1Edx);

// Workers for a system affinity mask: the set bits among bits 0..15, at least 1 and at most 8.
// `queried` false (GetProcessAffinityMask failed) gives 1.
int WorkerCountFromAffinity(bool queried, DWORD_PTR systemMask);

// Builds the tables (once; later calls find them built), warns if the processor lacks MMX, SSE
// or SSE2, and counts the workers.
void BuildDecoderTables();

// The worker count of the last BuildDecoderTables; 1 before the first.
int CurrentWorkerCount();

}  // namespace halvaris::filter
