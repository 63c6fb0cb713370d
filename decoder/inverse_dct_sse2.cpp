#if defined(__SSE2__)

#include <emmintrin.h>

#include "dsp.h"
#include "inverse_dct_tables.h"

namespace halvaris {

namespace {

// Per row, four groups of eight 16-bit weights. The row is rearranged to the pairs (x0, x2),
// (x1, x3), (x4, x6), (x5, x7); each pair, broadcast to four lanes and multiplied-and-added
// against one group, gives one term of the four even sums e0..e3 or odd sums o0..o3.
struct alignas(16) RowTable {
  std::int16_t even02[8];
  std::int16_t odd13[8];
  std::int16_t even46[8];
  std::int16_t odd57[8];
  std::int32_t rounding[4];
};

RowTable MakeRowTable(const RowWeights& w, std::int32_t rounding) {
  auto n = [](std::int16_t value) { return static_cast<std::int16_t>(-value); };
  return RowTable{
      {w.w4, w.w2, w.w4, w.w6, w.w4, n(w.w6), w.w4, n(w.w2)},
      {w.w1, w.w3, w.w3, n(w.w7), w.w5, n(w.w1), w.w7, n(w.w5)},
      {w.w4, w.w6, n(w.w4), n(w.w2), n(w.w4), w.w2, w.w4, n(w.w6)},
      {w.w5, w.w7, n(w.w1), n(w.w5), w.w7, w.w3, w.w3, n(w.w1)},
      {rounding, rounding, rounding, rounding},
  };
}

struct RowTables {
  RowTable row[8];
  RowTables() {
    for (int r = 0; r < 8; ++r) row[r] = MakeRowTable(kRowWeights[r], kRowRounding[r]);
  }
};

const RowTables& Tables() {
  static const RowTables tables;
  return tables;
}

inline __m128i RowPass(__m128i x, const RowTable& t) {
  // (x0, x2, x1, x3, x4, x6, x5, x7)
  x = _mm_shufflelo_epi16(x, _MM_SHUFFLE(3, 1, 2, 0));
  x = _mm_shufflehi_epi16(x, _MM_SHUFFLE(3, 1, 2, 0));
  const __m128i x02 = _mm_shuffle_epi32(x, 0x00);
  const __m128i x13 = _mm_shuffle_epi32(x, 0x55);
  const __m128i x46 = _mm_shuffle_epi32(x, 0xAA);
  const __m128i x57 = _mm_shuffle_epi32(x, 0xFF);
  __m128i even = _mm_madd_epi16(x02, _mm_load_si128(reinterpret_cast<const __m128i*>(t.even02)));
  even = _mm_add_epi32(
      even, _mm_madd_epi16(x46, _mm_load_si128(reinterpret_cast<const __m128i*>(t.even46))));
  even = _mm_add_epi32(even, _mm_load_si128(reinterpret_cast<const __m128i*>(t.rounding)));
  __m128i odd = _mm_madd_epi16(x13, _mm_load_si128(reinterpret_cast<const __m128i*>(t.odd13)));
  odd = _mm_add_epi32(
      odd, _mm_madd_epi16(x57, _mm_load_si128(reinterpret_cast<const __m128i*>(t.odd57))));
  const __m128i low = _mm_srai_epi32(_mm_add_epi32(even, odd), kRowShift);  // y0..y3
  __m128i high = _mm_srai_epi32(_mm_sub_epi32(even, odd), kRowShift);       // y7..y4
  high = _mm_shuffle_epi32(high, _MM_SHUFFLE(0, 1, 2, 3));                  // y4..y7
  return _mm_packs_epi32(low, high);
}

inline __m128i Splat(std::int16_t value) {
  return _mm_set1_epi16(value);
}

}  // namespace

void InverseDct8x8Sse2(std::int16_t* block) {
  __m128i* rows = reinterpret_cast<__m128i*>(block);
  const RowTables& tables = Tables();
  __m128i x0 = RowPass(_mm_load_si128(rows + 0), tables.row[0]);
  __m128i x1 = RowPass(_mm_load_si128(rows + 1), tables.row[1]);
  __m128i x2 = RowPass(_mm_load_si128(rows + 2), tables.row[2]);
  __m128i x3 = RowPass(_mm_load_si128(rows + 3), tables.row[3]);
  __m128i x4 = RowPass(_mm_load_si128(rows + 4), tables.row[4]);
  __m128i x5 = RowPass(_mm_load_si128(rows + 5), tables.row[5]);
  __m128i x6 = RowPass(_mm_load_si128(rows + 6), tables.row[6]);
  __m128i x7 = RowPass(_mm_load_si128(rows + 7), tables.row[7]);

  const __m128i tan1 = Splat(kTan1), tan2 = Splat(kTan2), tan3 = Splat(kTan3m1);
  const __m128i cos4 = Splat(kCos4);

  const __m128i a0 = _mm_adds_epi16(x0, x4);
  const __m128i a1 = _mm_subs_epi16(x0, x4);
  const __m128i t6 = _mm_subs_epi16(_mm_mulhi_epi16(x2, tan2), x6);
  const __m128i t7 = _mm_adds_epi16(_mm_mulhi_epi16(x6, tan2), x2);
  const __m128i A0 = _mm_adds_epi16(a0, t7);
  const __m128i A1 = _mm_adds_epi16(a1, t6);
  const __m128i A2 = _mm_subs_epi16(a1, t6);
  const __m128i A3 = _mm_subs_epi16(a0, t7);

  const __m128i u = _mm_subs_epi16(_mm_mulhi_epi16(x1, tan1), x7);
  const __m128i v = _mm_adds_epi16(_mm_mulhi_epi16(x7, tan1), x1);
  const __m128i p = _mm_subs_epi16(_mm_adds_epi16(_mm_mulhi_epi16(x3, tan3), x3), x5);
  const __m128i q = _mm_adds_epi16(_mm_adds_epi16(_mm_mulhi_epi16(x5, tan3), x5), x3);
  const __m128i B0 = _mm_adds_epi16(v, q);
  const __m128i B3 = _mm_subs_epi16(u, p);
  const __m128i vq = _mm_subs_epi16(v, q);
  const __m128i up = _mm_adds_epi16(u, p);
  const __m128i s = _mm_adds_epi16(vq, up);
  const __m128i d = _mm_subs_epi16(vq, up);
  const __m128i sc = _mm_mulhi_epi16(s, cos4);
  const __m128i dc = _mm_mulhi_epi16(d, cos4);
  const __m128i B1 = _mm_adds_epi16(sc, sc);
  const __m128i B2 = _mm_adds_epi16(dc, dc);

  _mm_store_si128(rows + 0, _mm_srai_epi16(_mm_adds_epi16(A0, B0), kColumnShift));
  _mm_store_si128(rows + 7, _mm_srai_epi16(_mm_subs_epi16(A0, B0), kColumnShift));
  _mm_store_si128(rows + 1, _mm_srai_epi16(_mm_adds_epi16(A1, B1), kColumnShift));
  _mm_store_si128(rows + 6, _mm_srai_epi16(_mm_subs_epi16(A1, B1), kColumnShift));
  _mm_store_si128(rows + 2, _mm_srai_epi16(_mm_adds_epi16(A2, B2), kColumnShift));
  _mm_store_si128(rows + 5, _mm_srai_epi16(_mm_subs_epi16(A2, B2), kColumnShift));
  _mm_store_si128(rows + 3, _mm_srai_epi16(_mm_adds_epi16(A3, B3), kColumnShift));
  _mm_store_si128(rows + 4, _mm_srai_epi16(_mm_subs_epi16(A3, B3), kColumnShift));
}

void InverseDct8x8PairSse2(std::int16_t* blocks) {
  InverseDct8x8Sse2(blocks);
  InverseDct8x8Sse2(blocks + 64);
}

void InverseDctDcOnlySse2(std::int16_t* block) {
  const int value = block[0];
  const int index = (value >> 2) + 256;
  if ((value & 3) != 0 || index < 0 || index > 511) {  // not a value the decoder writes
    InverseDct8x8Sse2(block);
    return;
  }
  // Each line value broadcast to the eight samples of its line.
  const __m128i all = _mm_loadu_si128(reinterpret_cast<const __m128i*>(DcOnlyLines[index]));
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
}

}  // namespace halvaris

#endif
