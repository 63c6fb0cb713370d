#include <algorithm>

#include "dsp.h"
#include "inverse_dct_tables.h"

namespace halvaris {

namespace {

// The SSE2 code's arithmetic, value for value: row sums wrap modulo 2^32, column sums saturate.
std::int16_t Saturate(std::int32_t value) {
  return static_cast<std::int16_t>(std::clamp<std::int32_t>(value, -32768, 32767));
}

std::int16_t Add(std::int16_t a, std::int16_t b) {
  return Saturate(std::int32_t{a} + b);
}
std::int16_t Sub(std::int16_t a, std::int16_t b) {
  return Saturate(std::int32_t{a} - b);
}
std::int16_t MulHigh(std::int16_t a, std::int16_t c) {
  return static_cast<std::int16_t>((std::int32_t{a} * c) >> 16);
}

std::uint32_t Product(std::int16_t weight, std::int16_t x) {
  return static_cast<std::uint32_t>(std::int32_t{weight} * x);
}

std::int16_t RowOutput(std::uint32_t sum) {
  return Saturate(static_cast<std::int32_t>(sum) >> kRowShift);
}

void RowPass(std::int16_t* x, const RowWeights& w, std::int32_t rounding) {
  const std::uint32_t r = static_cast<std::uint32_t>(rounding);
  const std::uint32_t e0 =
      Product(w.w4, x[0]) + Product(w.w2, x[2]) + Product(w.w4, x[4]) + Product(w.w6, x[6]) + r;
  const std::uint32_t e1 =
      Product(w.w4, x[0]) + Product(w.w6, x[2]) - Product(w.w4, x[4]) - Product(w.w2, x[6]) + r;
  const std::uint32_t e2 =
      Product(w.w4, x[0]) - Product(w.w6, x[2]) - Product(w.w4, x[4]) + Product(w.w2, x[6]) + r;
  const std::uint32_t e3 =
      Product(w.w4, x[0]) - Product(w.w2, x[2]) + Product(w.w4, x[4]) - Product(w.w6, x[6]) + r;
  const std::uint32_t o0 =
      Product(w.w1, x[1]) + Product(w.w3, x[3]) + Product(w.w5, x[5]) + Product(w.w7, x[7]);
  const std::uint32_t o1 =
      Product(w.w3, x[1]) - Product(w.w7, x[3]) - Product(w.w1, x[5]) - Product(w.w5, x[7]);
  const std::uint32_t o2 =
      Product(w.w5, x[1]) - Product(w.w1, x[3]) + Product(w.w7, x[5]) + Product(w.w3, x[7]);
  const std::uint32_t o3 =
      Product(w.w7, x[1]) - Product(w.w5, x[3]) + Product(w.w3, x[5]) - Product(w.w1, x[7]);
  x[0] = RowOutput(e0 + o0);
  x[1] = RowOutput(e1 + o1);
  x[2] = RowOutput(e2 + o2);
  x[3] = RowOutput(e3 + o3);
  x[4] = RowOutput(e3 - o3);
  x[5] = RowOutput(e2 - o2);
  x[6] = RowOutput(e1 - o1);
  x[7] = RowOutput(e0 - o0);
}

void ColumnPass(std::int16_t* block, int column) {
  std::int16_t x[8];
  for (int row = 0; row < 8; ++row) x[row] = block[8 * row + column];

  const std::int16_t a0 = Add(x[0], x[4]);
  const std::int16_t a1 = Sub(x[0], x[4]);
  const std::int16_t t6 = Sub(MulHigh(x[2], kTan2), x[6]);
  const std::int16_t t7 = Add(MulHigh(x[6], kTan2), x[2]);
  const std::int16_t A0 = Add(a0, t7);
  const std::int16_t A1 = Add(a1, t6);
  const std::int16_t A2 = Sub(a1, t6);
  const std::int16_t A3 = Sub(a0, t7);

  const std::int16_t u = Sub(MulHigh(x[1], kTan1), x[7]);
  const std::int16_t v = Add(MulHigh(x[7], kTan1), x[1]);
  const std::int16_t p = Sub(Add(MulHigh(x[3], kTan3m1), x[3]), x[5]);
  const std::int16_t q = Add(Add(MulHigh(x[5], kTan3m1), x[5]), x[3]);
  const std::int16_t B0 = Add(v, q);
  const std::int16_t B3 = Sub(u, p);
  const std::int16_t s = Add(Sub(v, q), Add(u, p));
  const std::int16_t d = Sub(Sub(v, q), Add(u, p));
  const std::int16_t B1 = Add(MulHigh(s, kCos4), MulHigh(s, kCos4));
  const std::int16_t B2 = Add(MulHigh(d, kCos4), MulHigh(d, kCos4));

  const std::int16_t out[8] = {Add(A0, B0), Add(A1, B1), Add(A2, B2), Add(A3, B3),
                               Sub(A3, B3), Sub(A2, B2), Sub(A1, B1), Sub(A0, B0)};
  for (int row = 0; row < 8; ++row) {
    block[8 * row + column] = static_cast<std::int16_t>(out[row] >> kColumnShift);
  }
}

}  // namespace

void InverseDct8x8Scalar(std::int16_t* block) {
  for (int row = 0; row < 8; ++row) RowPass(block + 8 * row, kRowWeights[row], kRowRounding[row]);
  for (int column = 0; column < 8; ++column) ColumnPass(block, column);
}

void InverseDctDcOnlyLinesScalar(std::int16_t dc, std::int16_t lines[8]) {
  // After the row pass every row of such a block holds one value eight times (row 0 that of the
  // DC product, the others their rounding alone), so the columns are all alike and one gives all.
  std::int16_t block[64] = {};
  block[0] = dc;
  for (int row = 0; row < 8; ++row) RowPass(block + 8 * row, kRowWeights[row], kRowRounding[row]);
  ColumnPass(block, 0);
  for (int line = 0; line < 8; ++line) lines[line] = block[8 * line];
}

void InverseDct8x8PairScalar(std::int16_t* blocks) {
  InverseDct8x8Scalar(blocks);
  InverseDct8x8Scalar(blocks + 64);
}

}  // namespace halvaris
