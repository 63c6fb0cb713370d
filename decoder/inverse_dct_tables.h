#pragma once

#include <cstdint>

namespace halvaris {

// Fixed-point constants of the 8x8 inverse DCT, shared by the SSE2 code and its scalar twin.

// Row pass: W[g][k - 1] = round(32768 cos(g pi / 16) cos(k pi / 16)) for k = 1..7, with the
// row group g of each row: 4 for rows 0 and 4, 1 for rows 1 and 7, 2 for rows 2 and 6, 3 for
// rows 3 and 5.
struct RowWeights {
  std::int16_t w1, w2, w3, w4, w5, w6, w7;
};
extern const RowWeights kRowWeights[8];  // by row

// Added to each 32-bit row sum before the shift by 11. Row 0's 65536 adds 32 to every row-0
// value, which the column pass carries into every output as the rounding of its final shift.
extern const std::int32_t kRowRounding[8];

// Column pass: high halves of 16 x 16-bit products.
constexpr std::int16_t kTan1 = 13036;     // tan(pi/16), in 1/65536
constexpr std::int16_t kTan2 = 27146;     // tan(2pi/16)
constexpr std::int16_t kTan3m1 = -21746;  // tan(3pi/16) - 1
constexpr std::int16_t kCos4 = 23170;     // cos(pi/4), in 1/32768

constexpr int kRowShift = 11;
constexpr int kColumnShift = 6;

}  // namespace halvaris
