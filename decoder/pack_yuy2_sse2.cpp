#if defined(__SSE2__)

#include <emmintrin.h>

#include "dsp.h"

namespace halvaris {

void PackBlockYuy2Sse2(const std::int16_t* luma, const std::int16_t* chroma, std::uint8_t* out,
                       std::ptrdiff_t lineStep) {
  const __m128i bias = _mm_set1_epi16(128);
  for (int j = 0; j < 8; ++j) {
    const __m128i y =
        _mm_add_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(luma + 8 * j)), bias);
    const __m128i cr = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(chroma + 8 * j));
    const __m128i cb = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(chroma + 128 + 8 * j));
    const __m128i uv = _mm_add_epi16(_mm_unpacklo_epi16(cb, cr), bias);  // Cb0 Cr0 Cb1 Cr1 ...
    const __m128i bytes = _mm_unpacklo_epi8(_mm_packus_epi16(y, y), _mm_packus_epi16(uv, uv));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
    out += lineStep;
  }
}

}  // namespace halvaris

#endif
