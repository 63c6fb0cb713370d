#include <gtest/gtest.h>

#include <string>

#include "coefficient_tables.h"
#include "frame_builder.h"
#include "video_segment.h"

namespace halvaris {
namespace {

using testing::FrameBuilder;

constexpr char kEmptyBlock[] = "000000000 0 00 0110";  // DC 0, frame mode, class 0, end of block

std::string Repeat(const std::string& bits, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += bits;
  return all;
}

// A frame whose segment slot (0, 0, 0) holds empty blocks, to be changed by each test.
FrameBuilder EmptySegment(VideoSystem system) {
  FrameBuilder frame(system);
  for (int m = 0; m < 5; ++m) {
    for (int b = 0; b < 8; ++b) frame.SetBlockBits(0, 0, m, 0, b, kEmptyBlock);
  }
  return frame;
}

class SegmentDecoding : public ::testing::Test {
 protected:
  const std::int16_t* Decode(FrameBuilder& frame, VideoSystem system) {
    EXPECT_TRUE(DecodeSegmentCoefficients(context_, 0, 0, 0, frame.Bytes().data(), system));
    return context_.blocks[0].value;
  }
  const std::int16_t* Block(int m, int b) const { return context_.blocks[8 * m + b].value; }
  int SpareBitsOf(int m) const {
    int bits = 0;
    for (int b = 0; b < 8; ++b) bits += context_.spareCount[8 * m + b];
    return bits;
  }

  DecodeContext context_;
};

TEST_F(SegmentDecoding, EndOfBlockGivesTheRestOfTheAreaToTheMacroblock) {
  FrameBuilder frame = EmptySegment(1);
  frame.SetBlockBits(0, 0, 2, 0, 0, "100000000 0 00 0110");  // DC -256
  Decode(frame, 1);
  EXPECT_EQ(Block(2, 0)[0], -1024);
  for (int i = 1; i < 64; ++i) EXPECT_EQ(Block(2, 0)[i], 0);
  // Six blocks leave 64 bits each, the two Cb blocks 48.
  for (int m = 0; m < 5; ++m) EXPECT_EQ(SpareBitsOf(m), 6 * 64 + 2 * 48);
  for (std::uint16_t resume : context_.resumePos) EXPECT_EQ(resume, 0);
}

TEST_F(SegmentDecoding, BlocksEndingExactlyAtTheirAreaEndLeaveNoSpareBits) {
  FrameBuilder frame = EmptySegment(2);
  for (int m = 0; m < 5; ++m) {
    for (int b = 0; b < 8; ++b) {
      // (0, 2) codes of 4 bits up to the area's last 4 bits, which hold end of block.
      frame.SetBlockBits(0, 0, m, 0, b,
                         "000000000 0 00" + Repeat("0100", b < 6 ? 16 : 12) + "0110");
    }
  }
  Decode(frame, 2);
  for (int m = 0; m < 5; ++m) EXPECT_EQ(SpareBitsOf(m), 0);
  // Luma of a 720-line picture, step 1: weight x 2 / 32.
  EXPECT_EQ(Block(0, 0)[ZigZag[16]], WeightTable[2][ZigZag[16]] * 2 / 32);
}

TEST_F(SegmentDecoding, DequantisationUsesWeightStepAndTruncation) {
  FrameBuilder frame = EmptySegment(1);
  frame.SetStatus(0, 0, 0, 0, 0, 9);
  frame.SetBlockBits(0, 0, 0, 0, 0, "000000000 0 10  000  001  0110");  // class 2: step 64
  frame.SetStatus(0, 0, 1, 0, 0, 1);
  // class 0, step 1: (4, -1) lands on element 2 (weight 17): -17 / 32 truncates to 0.
  frame.SetBlockBits(0, 0, 1, 0, 1, "000000000 0 00  1100011  0100  0110");
  Decode(frame, 1);
  EXPECT_EQ(Block(0, 0)[1], 32);   // (16 x 64 x 1) / 32
  EXPECT_EQ(Block(0, 0)[8], -32);  // (16 x 64 x -1) / 32
  EXPECT_EQ(Block(1, 1)[2], 0);
  EXPECT_EQ(Block(1, 1)[ZigZag[6]], WeightTable[0][ZigZag[6]] * 2 / 32);
}

TEST_F(SegmentDecoding, RunEscapeReachesTheLastCoefficient) {
  FrameBuilder frame = EmptySegment(2);
  frame.SetStatus(0, 0, 3, 0, 0, 15);
  // Chroma, class 1 (step 104): run 61 then (0, 3) writes element 63.
  frame.SetBlockBits(0, 0, 3, 0, 4, "000000000 0 01  1111110 111101  10000  0110");
  // Run 63 at position 1 passes the end: nothing is written and the block is finished.
  frame.SetBlockBits(0, 0, 3, 0, 5, "000000000 0 01  1111110 111111  000  0110");
  Decode(frame, 2);
  EXPECT_EQ(Block(3, 4)[63], 4797);  // (492 x 104 x 3) / 32
  for (int i = 1; i < 63; ++i) EXPECT_EQ(Block(3, 4)[i], 0);
  for (int i = 1; i < 64; ++i) EXPECT_EQ(Block(3, 5)[i], 0);
}

TEST_F(SegmentDecoding, StepsMissingFromTheTableDoubleFromClassToClass) {
  // Quantisation number 8 has a step for class 0 only; class 3 gives 8 x 8.
  EXPECT_EQ(QuantStep(8, 3), 64);
  EXPECT_EQ(QuantStep(0, 0), 1);
  EXPECT_EQ(QuantStep(15, 3), 416);
  for (int qno = 0; qno < 16; ++qno) {
    for (int cls = 1; cls < 4; ++cls) EXPECT_EQ(QuantStep(qno, cls), 2 * QuantStep(qno, cls - 1));
  }
  FrameBuilder frame = EmptySegment(1);
  frame.SetStatus(0, 0, 0, 0, 0, 15);
  frame.SetBlockBits(0, 0, 0, 0, 4, "000000000 0 11  11111111 11111111 0110");  // amplitude -255
  Decode(frame, 1);
  // -53040 does not fit 16 bits: its low 16 bits are kept.
  EXPECT_EQ(Block(0, 4)[1], static_cast<std::int16_t>(-53040 + 65536));
}

TEST_F(SegmentDecoding, UnfinishedBlockContinuesInTheOtherMacroblocksSpareBits) {
  FrameBuilder frame = EmptySegment(1);
  frame.SetStatus(0, 0, 0, 0, 0, 15);  // step 52
  // Every block of macroblock 0 fills its area with (0, 1) codes and has no spare bits; 22 codes
  // fit, and two bits of the 23rd are carried.
  for (int b = 0; b < 8; ++b)
    frame.SetBlockBits(0, 0, 0, 0, b, "000000000 0 00" + Repeat("000", 30));
  // Macroblock 1's first block ends at once and leaves "1 0110 ...": the sign of the carried code
  // and an end of block.
  frame.SetBlockBits(0, 0, 1, 0, 0, "000000000 0 00 0110 1 0110 0110 0110");
  Decode(frame, 1);
  const std::int16_t* block = Block(0, 0);
  for (int p = 1; p <= 22; ++p)
    EXPECT_EQ(block[ZigZag[p]], WeightTable[0][ZigZag[p]] * 52 / 32) << p;
  EXPECT_EQ(block[ZigZag[23]], -(WeightTable[0][ZigZag[23]] * 52 / 32));
  for (int p = 24; p < 64; ++p) EXPECT_EQ(block[ZigZag[p]], 0) << p;
  EXPECT_EQ(context_.resumePos[0], 0);
}

TEST(PictureDecoding, EmptyBlocksGiveMidGreyEverywhere) {
  for (VideoSystem system : {1, 2, 3, 4}) {
    SCOPED_TRACE(system);
    FrameBuilder frame(system);
    frame.FillWithEmptyBlocks();
    frame.Bytes()[1] = 0x07;  // channel pair 0/1 for the 720-line systems
    for (std::uint8_t byte : testing::DecodePicture(frame.Bytes(), system)) ASSERT_EQ(byte, 128);
  }
}

// Lines of luma block k (0..3) of the macroblock at (0, 64) of system 1 in field and frame mode.
TEST(PictureDecoding, FieldModeInterleavesTheUpperAndLowerBlocks) {
  for (int field : {0, 1}) {
    FrameBuilder frame(1);
    frame.FillWithEmptyBlocks();
    const std::string mode = field ? "1" : "0";
    // DC values 16, 32, 48, 64 (flat samples 8, 16, 24, 32 above grey); the mode bits of the
    // other blocks say the opposite and must not matter.
    const char* dc[4] = {"000010000", "000100000", "000110000", "001000000"};
    for (int k = 0; k < 4; ++k) {
      frame.SetBlockBits(0, 0, 3, 0, k,
                         std::string(dc[k]) +
                             (k == 0  ? mode
                              : field ? "0"
                                      : "1") +
                             "00 0110");
    }
    const std::vector<std::uint8_t> picture = testing::DecodePicture(frame.Bytes(), 1);
    for (int line = 0; line < 16; ++line) {
      const int upper = field ? line % 2 == 0 : line < 8;
      for (int column = 0; column < 16; ++column) {
        const int k = (upper ? 0 : 2) + (column >= 8 ? 1 : 0);
        const std::size_t luma = (static_cast<std::size_t>(64 + line) * 1280 + column) * 2;
        ASSERT_EQ(picture[luma], 128 + 8 * (k + 1)) << "field " << field << " line " << line;
      }
    }
  }
}

TEST(PictureDecoding, BottomRowMacroblocksLieSideBySideWhateverTheirMode) {
  FrameBuilder frame(3);
  frame.FillWithEmptyBlocks();
  const char* dc[4] = {"000010000", "000100000", "000110000", "001000000"};
  for (int k = 0; k < 4; ++k) frame.SetBlockBits(0, 11, 4, 26, k, std::string(dc[k]) + "1 00 0110");
  const std::vector<std::uint8_t> picture = testing::DecodePicture(frame.Bytes(), 3);
  for (int line = 1064; line < 1080; ++line) {
    for (int column = 1400; column < 1440; ++column) {
      const std::size_t luma = (static_cast<std::size_t>(line) * 1440 + column) * 2;
      const int expected =
          line >= 1072 && column >= 1408 ? 128 + 8 * ((column - 1408) / 8 + 1) : 128;
      ASSERT_EQ(picture[luma], expected) << line << "," << column;
    }
  }
}

TEST(PictureDecoding, FieldModeHasNoEffectIn720LinePictures) {
  const std::vector<std::uint8_t> original = testing::ReadTestFrame(2, "detailed");
  ASSERT_EQ(original.size(), 240000u);
  std::vector<std::uint8_t> flipped = original;
  for (int sequence = 0; sequence < 20; ++sequence) {
    for (int n = 0; n < 135; ++n) {
      const std::size_t block0 = (sequence * 150 + 7 + 16 * (n / 15) + n % 15) * 80 + 5;
      flipped[block0] ^= 0x40;
    }
  }
  EXPECT_EQ(testing::DecodePicture(original, 2), testing::DecodePicture(flipped, 2));
}

}  // namespace
}  // namespace halvaris
