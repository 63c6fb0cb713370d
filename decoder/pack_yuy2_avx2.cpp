// Two picture lines per step: the left luma block's samples in the low 128-bit half of every
// register, the right block's in the high half, so the byte interleaving within halves writes
// both blocks' 16 bytes of a line as one 32-byte store. Compiled with -mavx2; only intrinsics and
// declarations are included (see inverse_dct_avx2.cpp).
#if defined(__AVX2__)

#include <immintrin.h>

#include "dsp.h"

namespace halvaris {

void PackPairYuy2Avx2(const std::int16_t* luma, const std::int16_t* chroma, std::uint8_t* out,
                      std::ptrdiff_t lineStep) {
  const __m256i bias = _mm256_set1_epi16(128);
  for (int j = 0; j < 8; j += 2) {
    // Lines j and j + 1 of each block.
    const __m256i left = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(luma + 8 * j));
    const __m256i right = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(luma + 64 + 8 * j));
    const __m256i lumaLine0 = _mm256_add_epi16(_mm256_permute2x128_si256(left, right, 0x20), bias);
    const __m256i lumaLine1 = _mm256_add_epi16(_mm256_permute2x128_si256(left, right, 0x31), bias);
    const __m256i lumaBytes = _mm256_packus_epi16(lumaLine0, lumaLine1);

    const __m256i cr = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(chroma + 8 * j));
    const __m256i cb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(chroma + 128 + 8 * j));
    // Cb Cr pairs of chroma columns 0..3 (low) and 4..7 (high), line j in the low half.
    const __m256i columns03 = _mm256_unpacklo_epi16(cb, cr);
    const __m256i columns47 = _mm256_unpackhi_epi16(cb, cr);
    const __m256i chromaLine0 =
        _mm256_add_epi16(_mm256_permute2x128_si256(columns03, columns47, 0x20), bias);
    const __m256i chromaLine1 =
        _mm256_add_epi16(_mm256_permute2x128_si256(columns03, columns47, 0x31), bias);
    const __m256i chromaBytes = _mm256_packus_epi16(chromaLine0, chromaLine1);

    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                        _mm256_unpacklo_epi8(lumaBytes, chromaBytes));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + lineStep),
                        _mm256_unpackhi_epi8(lumaBytes, chromaBytes));
    out += 2 * lineStep;
  }
}

}  // namespace halvaris

#endif
