#include "rgb_conversion.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace halvaris::decode_tool {

namespace {

constexpr int kFractionBits = 16;

// Contributions in 16-bit fixed point, indexed by Y, and by twice a chroma value so that the mean
// of two chroma samples (their sum) indexes the same tables without losing its half.
struct ConversionTables {
  std::int32_t luma[256];
  std::int32_t redFromCr[511];
  std::int32_t greenFromCb[511];
  std::int32_t greenFromCr[511];
  std::int32_t blueFromCb[511];

  ConversionTables() {
    // BT.709: Kr = 0.2126, Kb = 0.0722; limited range scales luma by 255/219, chroma by 255/224.
    const double kr = 0.2126, kb = 0.0722, kg = 1.0 - kr - kb;
    const double lumaScale = 255.0 / 219.0, chromaScale = 255.0 / 224.0;
    const double one = 1 << kFractionBits;
    for (int y = 0; y < 256; ++y) {
      // The rounding half of the final shift is folded into the luma term.
      luma[y] = static_cast<std::int32_t>(std::lround((y - 16) * lumaScale * one + one / 2));
    }
    for (int twice = 0; twice < 511; ++twice) {
      const double c = (twice / 2.0 - 128.0) * chromaScale * one;
      redFromCr[twice] = static_cast<std::int32_t>(std::lround(c * 2 * (1 - kr)));
      greenFromCb[twice] = static_cast<std::int32_t>(std::lround(-c * 2 * (1 - kb) * kb / kg));
      greenFromCr[twice] = static_cast<std::int32_t>(std::lround(-c * 2 * (1 - kr) * kr / kg));
      blueFromCb[twice] = static_cast<std::int32_t>(std::lround(c * 2 * (1 - kb)));
    }
  }
};

const ConversionTables& Tables() {
  static const ConversionTables tables;
  return tables;
}

std::uint8_t Clip(std::int32_t value) {
  // Floor division by 2^16 that is right for negative sums too.
  const std::int32_t shifted =
      value >= 0 ? value >> kFractionBits : -((-value + 65535) >> kFractionBits);
  return static_cast<std::uint8_t>(std::clamp(shifted, 0, 255));
}

void PutPixel(const ConversionTables& t, int y, int twiceCb, int twiceCr, std::uint8_t* out) {
  const std::int32_t base = t.luma[y];
  out[0] = Clip(base + t.redFromCr[twiceCr]);
  out[1] = Clip(base + t.greenFromCb[twiceCb] + t.greenFromCr[twiceCr]);
  out[2] = Clip(base + t.blueFromCb[twiceCb]);
}

}  // namespace

void ConvertYuy2ToRgb(const std::uint8_t* yuy2, int width, int height, std::uint8_t* rgb) {
  const ConversionTables& t = Tables();
  const int pairs = width / 2;
  for (int line = 0; line < height; ++line) {
    const std::uint8_t* in = yuy2 + static_cast<std::size_t>(line) * width * 2;
    std::uint8_t* out = rgb + static_cast<std::size_t>(line) * width * 3;
    for (int pair = 0; pair < pairs; ++pair) {
      const std::uint8_t* p = in + 4 * pair;
      // The last pair has no right neighbour: its odd pixel keeps the pair's chroma.
      const std::uint8_t* next = pair + 1 < pairs ? p + 4 : p;
      PutPixel(t, p[0], 2 * p[1], 2 * p[3], out + 6 * pair);
      PutPixel(t, p[2], p[1] + next[1], p[3] + next[3], out + 6 * pair + 3);
    }
  }
}

void ScaleRgbLines(const std::uint8_t* rgb, int width, int height, std::uint8_t* output,
                   int outputWidth) {
  // Source position of each output pixel centre in 1/256 pixel, clamped to the picture.
  std::vector<int> left(static_cast<std::size_t>(outputWidth));
  std::vector<int> weight(static_cast<std::size_t>(outputWidth));
  for (int x = 0; x < outputWidth; ++x) {
    const double source = (x + 0.5) * width / outputWidth - 0.5;
    const double clamped = std::clamp(source, 0.0, static_cast<double>(width - 1));
    const int whole = std::min(static_cast<int>(clamped), width - 1);
    left[static_cast<std::size_t>(x)] = whole;
    weight[static_cast<std::size_t>(x)] = static_cast<int>(std::lround((clamped - whole) * 256));
  }
  for (int line = 0; line < height; ++line) {
    const std::uint8_t* in = rgb + static_cast<std::size_t>(line) * width * 3;
    std::uint8_t* out = output + static_cast<std::size_t>(line) * outputWidth * 3;
    for (int x = 0; x < outputWidth; ++x) {
      const int l = left[static_cast<std::size_t>(x)];
      const int w = weight[static_cast<std::size_t>(x)];
      const int r = std::min(l + 1, width - 1);
      for (int channel = 0; channel < 3; ++channel) {
        const int a = in[3 * l + channel], b = in[3 * r + channel];
        out[3 * x + channel] = static_cast<std::uint8_t>((a * (256 - w) + b * w + 128) >> 8);
      }
    }
  }
}

}  // namespace halvaris::decode_tool
