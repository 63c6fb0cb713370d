#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "dsp.h"

namespace halvaris {
namespace {

struct alignas(16) Block {
  std::int16_t value[64] = {};
};

// Both implementations, so every expectation is checked against the SSE2 code and its twin.
std::vector<const DspFunctions*> Implementations() {
  std::vector<const DspFunctions*> all{&ScalarDsp()};
  if (const DspFunctions* sse2 = Sse2Dsp()) all.push_back(sse2);
  return all;
}

Block Transform(const DspFunctions& dsp, Block block) {
  dsp.inverseDct8x8(block.value);
  return block;
}

TEST(InverseDct, WorkedExamples) {
  for (const DspFunctions* dsp : Implementations()) {
    SCOPED_TRACE(dsp->name);
    Block zero = Transform(*dsp, Block{});
    for (std::int16_t v : zero.value) ASSERT_EQ(v, 0);

    for (int d = -512; d < 512; ++d) {
      Block dc;
      dc.value[0] = static_cast<std::int16_t>(8 * d);
      dc = Transform(*dsp, dc);
      for (std::int16_t v : dc.value) ASSERT_EQ(v, d) << "DC " << 8 * d;
    }

    Block horizontal;
    horizontal.value[1] = 64;
    horizontal = Transform(*dsp, horizontal);
    Block vertical;
    vertical.value[8] = 64;
    vertical = Transform(*dsp, vertical);
    const int ramp[8] = {11, 9, 6, 2, -2, -6, -9, -11};
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) {
        ASSERT_EQ(horizontal.value[8 * y + x], ramp[x]);
        ASSERT_EQ(vertical.value[8 * y + x], ramp[y]);
      }
    }

    Block diagonal;
    diagonal.value[0] = 80;
    diagonal.value[9] = -40;
    diagonal = Transform(*dsp, diagonal);
    const int first[8] = {0, 2, 5, 8, 12, 15, 18, 20};
    const int second[8] = {2, 3, 5, 8, 12, 15, 17, 18};
    const int last[8] = {20, 18, 15, 12, 8, 5, 2, 0};
    for (int x = 0; x < 8; ++x) {
      EXPECT_EQ(diagonal.value[x], first[x]);
      EXPECT_EQ(diagonal.value[8 + x], second[x]);
      EXPECT_EQ(diagonal.value[56 + x], last[x]);
    }
  }
}

TEST(InverseDct, Sse2MatchesScalarOnRandomAndExtremeBlocks) {
  const DspFunctions* sse2 = Sse2Dsp();
  if (sse2 == nullptr) GTEST_SKIP() << "no SSE2 in this build";
  std::mt19937 random(20261208);
  const std::int16_t extremes[] = {-32768, 32767, -32767, 0, 1, -1, 16384, -16384};
  for (int trial = 0; trial < 20000; ++trial) {
    Block block;
    const int style = trial % 4;
    for (std::int16_t& v : block.value) {
      switch (style) {
        case 0:
          v = static_cast<std::int16_t>(random());
          break;  // anything, wrapping and saturating
        case 1:
          v = extremes[random() % 8];
          break;
        case 2:
          v = static_cast<std::int16_t>(static_cast<int>(random() % 2048) - 1024);
          break;
        default:
          v = random() % 4 == 0 ? static_cast<std::int16_t>(random()) : 0;
          break;
      }
    }
    const Block scalar = Transform(ScalarDsp(), block);
    const Block simd = Transform(*sse2, block);
    ASSERT_EQ(std::memcmp(scalar.value, simd.value, sizeof scalar.value), 0) << "trial " << trial;
  }
}

TEST(InverseDct, DcOnlyShortcutMatchesTheFullTransform) {
  for (int dc = -256; dc < 256; ++dc) {
    Block full;
    full.value[0] = static_cast<std::int16_t>(4 * dc);
    Block shortcut = full;
    full = Transform(ScalarDsp(), full);
    InverseDctDcOnly(shortcut.value);
    ASSERT_EQ(std::memcmp(full.value, shortcut.value, sizeof full.value), 0) << dc;
  }
}

// Luma block, then Cr blocks 4 and 5, then Cb blocks 6 and 7, as in a macroblock.
struct alignas(16) PackInput {
  std::int16_t luma[64];
  std::int16_t cr[2][64];
  std::int16_t cb[2][64];
};

TEST(PackBlockYuy2, InterleavesClampsAndSteps) {
  for (const DspFunctions* dsp : Implementations()) {
    SCOPED_TRACE(dsp->name);
    PackInput input{};
    for (int i = 0; i < 64; ++i) {
      input.luma[i] = static_cast<std::int16_t>(i - 32);
      input.cr[0][i] = static_cast<std::int16_t>(i);
      input.cb[0][i] = static_cast<std::int16_t>(-i);
    }
    input.luma[0] = -129;  // clamps to 0
    input.luma[1] = 128;   // clamps to 255
    input.luma[2] = -128;  // exactly 0
    input.luma[3] = 127;   // exactly 255
    std::uint8_t out[8 * 40];
    std::memset(out, 0xEE, sizeof out);
    // Right-hand chroma columns, every other line (field arrangement).
    dsp->packBlockYuy2(input.luma, input.cr[0] + 4, out, 40);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[2], 255);
    EXPECT_EQ(out[4], 0);
    EXPECT_EQ(out[6], 255);
    for (int j = 0; j < 8; ++j) {
      const std::uint8_t* line = out + 40 * j;
      for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(line[4 * i + 1], 128 - (8 * j + 4 + i)) << j;  // Cb first
        EXPECT_EQ(line[4 * i + 3], 128 + (8 * j + 4 + i)) << j;
      }
      if (j > 0) {
        EXPECT_EQ(line[8], 128 + 8 * j + 4 - 32);
      }
      for (int k = 16; k < 40; ++k) ASSERT_EQ(line[k], 0xEE);  // nothing beyond 16 bytes
    }
  }
}

TEST(PackBlockYuy2, Sse2MatchesScalarForAnyValues) {
  const DspFunctions* sse2 = Sse2Dsp();
  if (sse2 == nullptr) GTEST_SKIP() << "no SSE2 in this build";
  std::mt19937 random(7);
  for (int trial = 0; trial < 2000; ++trial) {
    PackInput input;
    for (auto* array : {input.luma, input.cr[0], input.cr[1], input.cb[0], input.cb[1]}) {
      for (int i = 0; i < 64; ++i) array[i] = static_cast<std::int16_t>(random());
    }
    std::uint8_t scalar[128], simd[128];
    const int columns = trial % 2 == 0 ? 0 : 4;
    ScalarDsp().packBlockYuy2(input.luma, input.cr[0] + columns, scalar, 16);
    sse2->packBlockYuy2(input.luma, input.cr[0] + columns, simd, 16);
    ASSERT_EQ(std::memcmp(scalar, simd, sizeof scalar), 0) << trial;
  }
}

}  // namespace
}  // namespace halvaris
