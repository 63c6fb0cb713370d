#include "dsp.h"

namespace halvaris {

namespace {
// As the SIMD code does it: add 128 with 16-bit wrap-around, then saturate to 0..255.
std::uint8_t ToByte(std::int16_t value) {
  const auto biased = static_cast<std::int16_t>(static_cast<std::uint16_t>(value) + 128u);
  return static_cast<std::uint8_t>(biased < 0 ? 0 : biased > 255 ? 255 : biased);
}
}  // namespace

void PackBlockYuy2Scalar(const std::int16_t* luma, const std::int16_t* chroma, std::uint8_t* out,
                         std::ptrdiff_t lineStep) {
  for (int j = 0; j < 8; ++j) {
    const std::int16_t* y = luma + 8 * j;
    const std::int16_t* cr = chroma + 8 * j;
    const std::int16_t* cb = chroma + 128 + 8 * j;
    for (int i = 0; i < 4; ++i) {
      out[4 * i + 0] = ToByte(y[2 * i]);
      out[4 * i + 1] = ToByte(cb[i]);
      out[4 * i + 2] = ToByte(y[2 * i + 1]);
      out[4 * i + 3] = ToByte(cr[i]);
    }
    out += lineStep;
  }
}

void PackPairYuy2Scalar(const std::int16_t* luma, const std::int16_t* chroma, std::uint8_t* out,
                        std::ptrdiff_t lineStep) {
  PackBlockYuy2Scalar(luma, chroma, out, lineStep);
  PackBlockYuy2Scalar(luma + 64, chroma + 4, out + 16, lineStep);
}

}  // namespace halvaris
