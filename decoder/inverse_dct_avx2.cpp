// The SSE2 transform's arithmetic on two blocks at once: row r of both blocks shares one 256-bit
// register (the first block in the low half), and every instruction of the row pass works within
// 128-bit halves, so each half sees exactly what the SSE2 code computes for its block.
// Compiled with -mavx2; nothing here is called unless the processor has AVX2. Only intrinsics and
// declarations are included, so no inline function compiled for AVX2 can stand in for a generic
// one elsewhere in the program.
#if defined(__AVX2__)

#include <immintrin.h>

#include "dsp.h"
#include "inverse_dct_tables.h"

namespace halvaris {

namespace {

// Per row, the four groups of weights of the SSE2 code, repeated in both halves.
struct alignas(32) RowTable {
  std::int16_t even02[16];
  std::int16_t odd13[16];
  std::int16_t even46[16];
  std::int16_t odd57[16];
  std::int32_t rounding[8];
};

struct RowTables {
  RowTable row[8];
  RowTables() {
    for (int r = 0; r < 8; ++r) {
      const RowWeights& w = kRowWeights[r];
      const std::int16_t n1 = static_cast<std::int16_t>(-w.w1),
                         n2 = static_cast<std::int16_t>(-w.w2);
      const std::int16_t n4 = static_cast<std::int16_t>(-w.w4),
                         n5 = static_cast<std::int16_t>(-w.w5);
      const std::int16_t n6 = static_cast<std::int16_t>(-w.w6),
                         n7 = static_cast<std::int16_t>(-w.w7);
      const std::int16_t even02[8] = {w.w4, w.w2, w.w4, w.w6, w.w4, n6, w.w4, n2};
      const std::int16_t odd13[8] = {w.w1, w.w3, w.w3, n7, w.w5, n1, w.w7, n5};
      const std::int16_t even46[8] = {w.w4, w.w6, n4, n2, n4, w.w2, w.w4, n6};
      const std::int16_t odd57[8] = {w.w5, w.w7, n1, n5, w.w7, w.w3, w.w3, n1};
      for (int i = 0; i < 16; ++i) {
        row[r].even02[i] = even02[i % 8];
        row[r].odd13[i] = odd13[i % 8];
        row[r].even46[i] = even46[i % 8];
        row[r].odd57[i] = odd57[i % 8];
      }
      for (int i = 0; i < 8; ++i) row[r].rounding[i] = kRowRounding[r];
    }
  }
};

const RowTables& Tables() {
  static const RowTables tables;
  return tables;
}

inline __m256i Load(const void* address) {
  return _mm256_load_si256(static_cast<const __m256i*>(address));
}

inline __m256i RowPass(__m256i x, const RowTable& t) {
  // (x0, x2, x1, x3, x4, x6, x5, x7) in each half
  x = _mm256_shufflelo_epi16(x, _MM_SHUFFLE(3, 1, 2, 0));
  x = _mm256_shufflehi_epi16(x, _MM_SHUFFLE(3, 1, 2, 0));
  const __m256i x02 = _mm256_shuffle_epi32(x, 0x00);
  const __m256i x13 = _mm256_shuffle_epi32(x, 0x55);
  const __m256i x46 = _mm256_shuffle_epi32(x, 0xAA);
  const __m256i x57 = _mm256_shuffle_epi32(x, 0xFF);
  __m256i even = _mm256_madd_epi16(x02, Load(t.even02));
  even = _mm256_add_epi32(even, _mm256_madd_epi16(x46, Load(t.even46)));
  even = _mm256_add_epi32(even, Load(t.rounding));
  __m256i odd = _mm256_madd_epi16(x13, Load(t.odd13));
  odd = _mm256_add_epi32(odd, _mm256_madd_epi16(x57, Load(t.odd57)));
  const __m256i low = _mm256_srai_epi32(_mm256_add_epi32(even, odd), kRowShift);  // y0..y3
  __m256i high = _mm256_srai_epi32(_mm256_sub_epi32(even, odd), kRowShift);       // y7..y4
  high = _mm256_shuffle_epi32(high, _MM_SHUFFLE(0, 1, 2, 3));                     // y4..y7
  return _mm256_packs_epi32(low, high);
}

// Row r of the first block in the low half, row r of the second in the high half.
inline __m256i LoadRow(const std::int16_t* blocks, int r) {
  const __m128i first = _mm_load_si128(reinterpret_cast<const __m128i*>(blocks + 8 * r));
  const __m128i second = _mm_load_si128(reinterpret_cast<const __m128i*>(blocks + 64 + 8 * r));
  return _mm256_inserti128_si256(_mm256_castsi128_si256(first), second, 1);
}

inline void StoreRow(std::int16_t* blocks, int r, __m256i row) {
  _mm_store_si128(reinterpret_cast<__m128i*>(blocks + 8 * r), _mm256_castsi256_si128(row));
  _mm_store_si128(reinterpret_cast<__m128i*>(blocks + 64 + 8 * r),
                  _mm256_extracti128_si256(row, 1));
}

}  // namespace

void InverseDct8x8PairAvx2(std::int16_t* blocks) {
  const RowTables& tables = Tables();
  const __m256i x0 = RowPass(LoadRow(blocks, 0), tables.row[0]);
  const __m256i x1 = RowPass(LoadRow(blocks, 1), tables.row[1]);
  const __m256i x2 = RowPass(LoadRow(blocks, 2), tables.row[2]);
  const __m256i x3 = RowPass(LoadRow(blocks, 3), tables.row[3]);
  const __m256i x4 = RowPass(LoadRow(blocks, 4), tables.row[4]);
  const __m256i x5 = RowPass(LoadRow(blocks, 5), tables.row[5]);
  const __m256i x6 = RowPass(LoadRow(blocks, 6), tables.row[6]);
  const __m256i x7 = RowPass(LoadRow(blocks, 7), tables.row[7]);

  const __m256i tan1 = _mm256_set1_epi16(kTan1), tan2 = _mm256_set1_epi16(kTan2);
  const __m256i tan3 = _mm256_set1_epi16(kTan3m1), cos4 = _mm256_set1_epi16(kCos4);

  const __m256i a0 = _mm256_adds_epi16(x0, x4);
  const __m256i a1 = _mm256_subs_epi16(x0, x4);
  const __m256i t6 = _mm256_subs_epi16(_mm256_mulhi_epi16(x2, tan2), x6);
  const __m256i t7 = _mm256_adds_epi16(_mm256_mulhi_epi16(x6, tan2), x2);
  const __m256i A0 = _mm256_adds_epi16(a0, t7);
  const __m256i A1 = _mm256_adds_epi16(a1, t6);
  const __m256i A2 = _mm256_subs_epi16(a1, t6);
  const __m256i A3 = _mm256_subs_epi16(a0, t7);

  const __m256i u = _mm256_subs_epi16(_mm256_mulhi_epi16(x1, tan1), x7);
  const __m256i v = _mm256_adds_epi16(_mm256_mulhi_epi16(x7, tan1), x1);
  const __m256i p = _mm256_subs_epi16(_mm256_adds_epi16(_mm256_mulhi_epi16(x3, tan3), x3), x5);
  const __m256i q = _mm256_adds_epi16(_mm256_adds_epi16(_mm256_mulhi_epi16(x5, tan3), x5), x3);
  const __m256i B0 = _mm256_adds_epi16(v, q);
  const __m256i B3 = _mm256_subs_epi16(u, p);
  const __m256i vq = _mm256_subs_epi16(v, q);
  const __m256i up = _mm256_adds_epi16(u, p);
  const __m256i s = _mm256_adds_epi16(vq, up);
  const __m256i d = _mm256_subs_epi16(vq, up);
  const __m256i sc = _mm256_mulhi_epi16(s, cos4);
  const __m256i dc = _mm256_mulhi_epi16(d, cos4);
  const __m256i B1 = _mm256_adds_epi16(sc, sc);
  const __m256i B2 = _mm256_adds_epi16(dc, dc);

  StoreRow(blocks, 0, _mm256_srai_epi16(_mm256_adds_epi16(A0, B0), kColumnShift));
  StoreRow(blocks, 7, _mm256_srai_epi16(_mm256_subs_epi16(A0, B0), kColumnShift));
  StoreRow(blocks, 1, _mm256_srai_epi16(_mm256_adds_epi16(A1, B1), kColumnShift));
  StoreRow(blocks, 6, _mm256_srai_epi16(_mm256_subs_epi16(A1, B1), kColumnShift));
  StoreRow(blocks, 2, _mm256_srai_epi16(_mm256_adds_epi16(A2, B2), kColumnShift));
  StoreRow(blocks, 5, _mm256_srai_epi16(_mm256_subs_epi16(A2, B2), kColumnShift));
  StoreRow(blocks, 3, _mm256_srai_epi16(_mm256_adds_epi16(A3, B3), kColumnShift));
  StoreRow(blocks, 4, _mm256_srai_epi16(_mm256_subs_epi16(A3, B3), kColumnShift));
}

void InverseDctDcOnlyAvx2(std::int16_t* block) {
  const int value = block[0];
  const int index = (value >> 2) + 256;
  if ((value & 3) != 0 || index < 0 || index > 511) {  // not a value the decoder writes
    InverseDct8x8Sse2(block);
    return;
  }
  // Line values l0..l7; lines 2i and 2i + 1 fill one 256-bit store.
  const __m128i lines = _mm_loadu_si128(reinterpret_cast<const __m128i*>(DcOnlyLines[index]));
  const __m256i pairs = _mm256_cvtepu16_epi32(lines);  // l_i in the low half of dword i
  const __m256i doubled = _mm256_or_si256(pairs, _mm256_slli_epi32(pairs, 16));  // (l_i, l_i)
  __m256i* rows = reinterpret_cast<__m256i*>(block);
  _mm256_storeu_si256(
      rows + 0, _mm256_permutevar8x32_epi32(doubled, _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1)));
  _mm256_storeu_si256(
      rows + 1, _mm256_permutevar8x32_epi32(doubled, _mm256_setr_epi32(2, 2, 2, 2, 3, 3, 3, 3)));
  _mm256_storeu_si256(
      rows + 2, _mm256_permutevar8x32_epi32(doubled, _mm256_setr_epi32(4, 4, 4, 4, 5, 5, 5, 5)));
  _mm256_storeu_si256(
      rows + 3, _mm256_permutevar8x32_epi32(doubled, _mm256_setr_epi32(6, 6, 6, 6, 7, 7, 7, 7)));
}

}  // namespace halvaris

#endif
