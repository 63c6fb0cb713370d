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
  for (int j = 0; j < 8; ++j) {
#if defined(__SSE2__)
    _mm_store_si128(reinterpret_cast<__m128i*>(block + 8 * j), _mm_set1_epi16(lines[j]));
#else
    for (int i = 0; i < 8; ++i) block[8 * j + i] = lines[j];
#endif
  }
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
