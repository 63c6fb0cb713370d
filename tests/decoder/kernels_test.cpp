#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "dsp.h"

namespace halvaris {
namespace {

struct alignas(16) Block {
  std::int16_t value[64] = {};
};

// Every level this machine has, so every expectation is checked against each SIMD level and the
// scalar twin. The random and extreme inputs of every kernel at every level are the kernel
// check's (kernel_check.cpp).
std::vector<const DspFunctions*> Implementations() {
  const DspFunctions* levels[3];
  const int count = AvailableDsps(levels);
  return std::vector<const DspFunctions*>(levels, levels + count);
}

// The block through the single transform, and as either half of a pair (the other half holding
// something else), which must give the same.
Block Transform(const DspFunctions& dsp, Block block) {
  struct alignas(32) Pair {
    Block first, second;
  };
  Pair asFirst{block, Block{}};
  Pair asSecond{Block{}, block};
  asSecond.first.value[9] = 1000;
  dsp.inverseDct8x8Pair(asFirst.first.value);
  dsp.inverseDct8x8Pair(asSecond.first.value);
  dsp.inverseDct8x8(block.value);
  EXPECT_EQ(std::memcmp(block.value, asFirst.first.value, sizeof block.value), 0);
  EXPECT_EQ(std::memcmp(block.value, asSecond.second.value, sizeof block.value), 0);
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

TEST(InverseDct, DcOnlyShortcutMatchesTheFullTransform) {
  for (const DspFunctions* dsp : Implementations()) {
    SCOPED_TRACE(dsp->name);
    // Every value element 0 can hold: the decoder writes multiples of 4 from -1024 to 1020, the
    // others must take the full transform.
    for (int dc = -32768; dc < 32768; ++dc) {
      Block full;
      full.value[0] = static_cast<std::int16_t>(dc);
      Block shortcut = full;
      ScalarDsp().inverseDct8x8(full.value);
      dsp->inverseDctDcOnly(shortcut.value);
      ASSERT_EQ(std::memcmp(full.value, shortcut.value, sizeof full.value), 0) << dc;
    }
  }
}

TEST(KernelLevels, TheEnvironmentChoosesALevelTheProcessorHas) {
  const std::vector<const DspFunctions*> levels = Implementations();
  const DspFunctions* best = levels.back();
  EXPECT_EQ(&ChooseDsp(nullptr, nullptr), best);
  EXPECT_EQ(&ChooseDsp("", "0"), best);
  EXPECT_EQ(&ChooseDsp("something else", nullptr), best);
  EXPECT_EQ(&ChooseDsp("scalar", nullptr), &ScalarDsp());
  EXPECT_EQ(&ChooseDsp("avx2", "1"), &ScalarDsp());
  EXPECT_EQ(&ChooseDsp(nullptr, "yes"), &ScalarDsp());
  // A level the processor lacks gives the best one below it.
  const DspFunctions* sse2 = Sse2Dsp() != nullptr ? Sse2Dsp() : &ScalarDsp();
  EXPECT_EQ(&ChooseDsp("sse2", nullptr), sse2);
  EXPECT_EQ(&ChooseDsp("avx2", nullptr), Avx2Dsp() != nullptr ? Avx2Dsp() : sse2);
  for (const DspFunctions* level : levels) EXPECT_EQ(DspNamed(level->name), level);
}

// Luma blocks 0 and 1, then Cr block 4, then Cb block 6 (128 values after Cr), as in a
// macroblock.
struct alignas(32) PackInput {
  std::int16_t luma[2][64];
  std::int16_t cr[2][64];
  std::int16_t cb[2][64];
};

TEST(PackPairYuy2, InterleavesClampsAndSteps) {
  for (const DspFunctions* dsp : Implementations()) {
    SCOPED_TRACE(dsp->name);
    PackInput input{};
    for (int i = 0; i < 64; ++i) {
      input.luma[0][i] = static_cast<std::int16_t>(i - 32);
      input.luma[1][i] = static_cast<std::int16_t>(40 - i);
      input.cr[0][i] = static_cast<std::int16_t>(i);
      input.cb[0][i] = static_cast<std::int16_t>(-i);
    }
    input.luma[0][0] = -129;  // clamps to 0
    input.luma[0][1] = 128;   // clamps to 255
    input.luma[0][2] = -128;  // exactly 0
    input.luma[0][3] = 127;   // exactly 255
    // Every other line (field arrangement), with bytes between the lines that must stay.
    std::uint8_t out[8 * 72];
    std::memset(out, 0xEE, sizeof out);
    dsp->packPairYuy2(input.luma[0], input.cr[0], out, 72);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[2], 255);
    EXPECT_EQ(out[4], 0);
    EXPECT_EQ(out[6], 255);
    for (int j = 0; j < 8; ++j) {
      const std::uint8_t* line = out + 72 * j;
      for (int i = 0; i < 8; ++i) {
        // Chroma column i with the luma pair 2i, 2i + 1: Cb first.
        EXPECT_EQ(line[4 * i + 1], 128 - (8 * j + i)) << j;
        EXPECT_EQ(line[4 * i + 3], 128 + (8 * j + i)) << j;
      }
      EXPECT_EQ(line[8], 128 + 8 * j + 4 - 32);
      for (int x = 0; x < 8; ++x) EXPECT_EQ(line[16 + 2 * x], 128 + 40 - (8 * j + x)) << j;
      for (int k = 32; k < 72; ++k) ASSERT_EQ(line[k], 0xEE);  // nothing beyond 32 bytes
    }
  }
}

}  // namespace
}  // namespace halvaris
