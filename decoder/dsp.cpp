#include "dsp.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace halvaris {

const DspFunctions& ScalarDsp() {
  static const DspFunctions functions = {InverseDct8x8Scalar, PackBlockYuy2Scalar, "scalar"};
  return functions;
}

const DspFunctions* Sse2Dsp() {
#if defined(HALVARIS_SSE2_KERNELS)
  static const DspFunctions functions = {InverseDct8x8Sse2, PackBlockYuy2Sse2, "sse2"};
#if defined(__x86_64__) || defined(_M_X64)
  return &functions;  // every x86-64 processor has SSE2
#else
  return __builtin_cpu_supports("sse2") ? &functions : nullptr;
#endif
#else
  return nullptr;
#endif
}

namespace {
// The eight line values of each DC-only block (every column is the same), by DC value / 4.
struct DcOnlyTable {
  std::int16_t line[512][8];
  DcOnlyTable() {
    for (int dc = -256; dc < 256; ++dc) {
      alignas(16) std::int16_t block[64] = {};
      block[0] = static_cast<std::int16_t>(4 * dc);
      InverseDct8x8Scalar(block);
      for (int j = 0; j < 8; ++j) line[dc + 256][j] = block[8 * j];
    }
  }
};
}  // namespace

void InverseDctDcOnly(std::int16_t* block) {
  static const DcOnlyTable table;
  const int value = block[0];
  if ((value & 3) != 0) {  // not a value the decoder writes
    ActiveDsp().inverseDct8x8(block);
    return;
  }
  const std::int16_t* lines = table.line[(value >> 2) + 256];
#if defined(__SSE2__)
  // Each line value broadcast to the eight samples of its line.
  const __m128i all = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lines));
  const __m128i low = _mm_unpacklo_epi16(all, all);
  const __m128i high = _mm_unpackhi_epi16(all, all);
  __m128i* rows = reinterpret_cast<__m128i*>(block);
  _mm_store_si128(rows + 0, _mm_shuffle_epi32(low, 0x00));
  _mm_store_si128(rows + 1, _mm_shuffle_epi32(low, 0x55));
  _mm_store_si128(rows + 2, _mm_shuffle_epi32(low, 0xAA));
  _mm_store_si128(rows + 3, _mm_shuffle_epi32(low, 0xFF));
  _mm_store_si128(rows + 4, _mm_shuffle_epi32(high, 0x00));
  _mm_store_si128(rows + 5, _mm_shuffle_epi32(high, 0x55));
  _mm_store_si128(rows + 6, _mm_shuffle_epi32(high, 0xAA));
  _mm_store_si128(rows + 7, _mm_shuffle_epi32(high, 0xFF));
#else
  for (int j = 0; j < 8; ++j) {
    for (int i = 0; i < 8; ++i) block[8 * j + i] = lines[j];
  }
#endif
}

const DspFunctions& ActiveDsp() {
  static const DspFunctions& chosen = []() -> const DspFunctions& {
    const char* force = std::getenv("HALVARIS_FORCE_SCALAR");
    const bool scalarForced = force != nullptr && std::strcmp(force, "0") != 0;
    const DspFunctions* sse2 = Sse2Dsp();
    return (sse2 != nullptr && !scalarForced) ? *sse2 : ScalarDsp();
  }();
  return chosen;
}

}  // namespace halvaris
