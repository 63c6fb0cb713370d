#if defined(__SSE2__)

#include <emmintrin.h>

#include "dsp.h"

namespace halvaris {

void PackPairYuy2Sse2(const std::int16_t* luma, const std::int16_t* chroma, std::uint8_t* out,
                      std::ptrdiff_t lineStep) {
  const __m128i bias = _mm_set1_epi16(128);
  for (int j = 0; j < 8; ++j) {
    const __m128i left =
        _mm_add_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(luma + 8 * j)), bias);
    const __m128i right =
        _mm_add_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(luma + 64 + 8 * j)), bias);
    const __m128i cr = _mm_load_si128(reinterpret_cast<const __m128i*>(chroma + 8 * j));
    const __m128i cb = _mm_load_si128(reinterpret_cast<const __m128i*>(chroma + 128 + 8 * j));
    // Cb0 Cr0 Cb1 Cr1 ... for the left block's four chroma columns, then the right block's.
    const __m128i chromaLeft = _mm_add_epi16(_mm_unpacklo_epi16(cb, cr), bias);
    const __m128i chromaRight = _mm_add_epi16(_mm_unpackhi_epi16(cb, cr), bias);
    const __m128i lumaBytes = _mm_packus_epi16(left, right);
    const __m128i chromaBytes = _mm_packus_epi16(chromaLeft, chromaRight);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(lumaBytes, chromaBytes));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16),
                     _mm_unpackhi_epi8(lumaBytes, chromaBytes));
    out += lineStep;
  }
}

}  // namespace halvaris

#endif
