// Blocks without AC coefficients (most blocks of plain pictures) have eight distinct output
// values, one per line, taken from a table of the full transform's results.
#include "dsp.h"

namespace halvaris {

alignas(16) std::int16_t DcOnlyLines[512][8];

void BuildDcOnlyLines() {
  static const bool built = [] {
    for (int dc = -256; dc < 256; ++dc) {
      InverseDctDcOnlyLinesScalar(static_cast<std::int16_t>(4 * dc), DcOnlyLines[dc + 256]);
    }
    return true;
  }();
  (void)built;
}

void InverseDctDcOnlyScalar(std::int16_t* block) {
  const int value = block[0];
  const int index = (value >> 2) + 256;
  if ((value & 3) != 0 || index < 0 || index > 511) {  // not a value the decoder writes
    InverseDct8x8Scalar(block);
    return;
  }
  const std::int16_t* lines = DcOnlyLines[index];
  for (int j = 0; j < 8; ++j) {
    for (int i = 0; i < 8; ++i) block[8 * j + i] = lines[j];
  }
}

}  // namespace halvaris
