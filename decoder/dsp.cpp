#include "dsp.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "test_hooks.h"

namespace halvaris {

namespace {
// A level the tests put in place of the chosen one (nullptr: none).
std::atomic<const DspFunctions*> dspForTests{nullptr};

#if defined(HALVARIS_SSE2_KERNELS) || defined(HALVARIS_AVX2_KERNELS)
// From CPUID, and for AVX2 also whether the system saves the 256-bit registers.
bool ProcessorHas(const char* feature) {
  __builtin_cpu_init();
  // __builtin_cpu_supports takes string literals only.
  if (std::strcmp(feature, "sse2") == 0) return __builtin_cpu_supports("sse2");
  if (std::strcmp(feature, "avx2") == 0) return __builtin_cpu_supports("avx2");
  return false;
}
#endif
}  // namespace

void test_hooks::UseDsp(const DspFunctions* dsp) {
  dspForTests.store(dsp);
}

const DspFunctions& ScalarDsp() {
  BuildDcOnlyLines();
  static const DspFunctions functions = {InverseDct8x8Scalar, InverseDct8x8PairScalar,
                                         InverseDctDcOnlyScalar, PackPairYuy2Scalar, "scalar"};
  return functions;
}

const DspFunctions* Sse2Dsp() {
  BuildDcOnlyLines();
#if defined(HALVARIS_SSE2_KERNELS)
  static const DspFunctions functions = {InverseDct8x8Sse2, InverseDct8x8PairSse2,
                                         InverseDctDcOnlySse2, PackPairYuy2Sse2, "sse2"};
  static const bool supported = ProcessorHas("sse2");
  return supported ? &functions : nullptr;
#else
  return nullptr;
#endif
}

const DspFunctions* Avx2Dsp() {
  BuildDcOnlyLines();
#if defined(HALVARIS_AVX2_KERNELS)
  // A single block has nothing to fill the upper half of a 256-bit register with: it takes the
  // SSE2 transform.
  static const DspFunctions functions = {InverseDct8x8Sse2, InverseDct8x8PairAvx2,
                                         InverseDctDcOnlyAvx2, PackPairYuy2Avx2, "avx2"};
  static const bool supported = ProcessorHas("avx2");
  return supported ? &functions : nullptr;
#else
  return nullptr;
#endif
}

const DspFunctions* DspNamed(const char* name) {
  if (std::strcmp(name, "scalar") == 0) return &ScalarDsp();
  if (std::strcmp(name, "sse2") == 0) return Sse2Dsp();
  if (std::strcmp(name, "avx2") == 0) return Avx2Dsp();
  return nullptr;
}

int AvailableDsps(const DspFunctions* levels[3]) {
  int count = 0;
  levels[count++] = &ScalarDsp();
  if (const DspFunctions* sse2 = Sse2Dsp()) levels[count++] = sse2;
  if (const DspFunctions* avx2 = Avx2Dsp()) levels[count++] = avx2;
  return count;
}

const DspFunctions& ChooseDsp(const char* wanted, const char* forceScalar) {
  if (forceScalar != nullptr && std::strcmp(forceScalar, "0") != 0) return ScalarDsp();
  const DspFunctions* levels[3];
  const int count = AvailableDsps(levels);
  if (wanted != nullptr && *wanted != '\0') {
    // The levels rise in order; a level this processor lacks gives the best one below it.
    static const char* const kOrder[] = {"scalar", "sse2", "avx2"};
    int asked = -1;
    for (int i = 0; i < 3; ++i) {
      if (std::strcmp(wanted, kOrder[i]) == 0) asked = i;
    }
    if (asked >= 0) {
      const DspFunctions* best = levels[0];
      for (int i = 0; i < count; ++i) {
        for (int rank = 0; rank <= asked; ++rank) {
          if (std::strcmp(levels[i]->name, kOrder[rank]) == 0) best = levels[i];
        }
      }
      return *best;
    }
  }
  return *levels[count - 1];
}

const DspFunctions& ActiveDsp() {
  static const DspFunctions& chosen =
      ChooseDsp(std::getenv("HALVARIS_CPU"), std::getenv("HALVARIS_FORCE_SCALAR"));
  const DspFunctions* forTests = dspForTests.load(std::memory_order_relaxed);
  return forTests != nullptr ? *forTests : chosen;
}

}  // namespace halvaris
