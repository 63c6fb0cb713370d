#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "ac_code.h"
#include "bit_reader.h"
#include "spill_store.h"
#include "test_frames.h"

namespace halvaris {
namespace {

std::uint32_t Window(const std::string& bits) {
  std::uint32_t window = 0;
  for (int i = 0; i < 16; ++i) {
    window = (window << 1) | (i < static_cast<int>(bits.size()) && bits[i] == '1' ? 1u : 0u);
  }
  return window;
}

TEST(AcCodes, EveryListedCodeDecodesWithItsSign) {
  std::ifstream table(testing::TestDataPath("ac_codes.tsv"));
  ASSERT_TRUE(table) << testing::TestDataPath("ac_codes.tsv");
  std::string line;
  int codes = 0;
  while (std::getline(table, line)) {
    if (line.empty() || line[0] == '#' || line.rfind("code", 0) == 0) continue;
    std::istringstream fields(line);
    std::string bits;
    int run, amplitude, length;
    fields >> bits >> run >> amplitude >> length;
    ++codes;
    SCOPED_TRACE(bits);
    if (amplitude == 0) {
      const AcCode code = DecodeAcCode(Window(bits), 16);
      EXPECT_EQ(code.length, length);
      EXPECT_EQ(code.run, run);
      EXPECT_EQ(code.amplitude, 0);
      continue;
    }
    const AcCode positive = DecodeAcCode(Window(bits + "0"), 16);
    const AcCode negative = DecodeAcCode(Window(bits + "1"), 16);
    EXPECT_EQ(positive.length, length);
    EXPECT_EQ(positive.run, run);
    EXPECT_EQ(positive.amplitude, amplitude);
    EXPECT_EQ(negative.amplitude, -amplitude);
    // One bit short of the whole code is out of bits.
    EXPECT_EQ(DecodeAcCode(Window(bits + "0"), length - 1).run, kOutOfBits);
  }
  EXPECT_EQ(codes, 88);
}

TEST(AcCodes, EscapesAndEndOfBlock) {
  const AcCode eob = DecodeAcCode(0x6000, 3);  // end of block ignores the bits at hand
  EXPECT_EQ(eob.run, kEndOfBlock);
  EXPECT_EQ(eob.length, 4);

  const AcCode zero = DecodeAcCode(0xFE00, 16);
  EXPECT_EQ(zero.length, 16);
  EXPECT_EQ(zero.run, 0);
  EXPECT_EQ(zero.amplitude, 0);
  EXPECT_EQ(DecodeAcCode(0xFE03, 16).amplitude, -1);
  EXPECT_EQ(DecodeAcCode(0xFFFE, 16).amplitude, 255);
  EXPECT_EQ(DecodeAcCode(0xFE03, 15).run, kOutOfBits);

  const AcCode runEscape = DecodeAcCode(0xFC88, 16);
  EXPECT_EQ(runEscape.length, 13);
  EXPECT_EQ(runEscape.run, 17);
  EXPECT_EQ(runEscape.amplitude, 0);
  EXPECT_EQ(DecodeAcCode(0xFC88, 12).run, kOutOfBits);
}

TEST(AcCodes, EveryBitPatternIsACode) {
  for (std::uint32_t window = 0; window < 0x10000; ++window) {
    const AcCode code = DecodeAcCode(window, 16);
    ASSERT_NE(code.run, kOutOfBits) << window;
    ASSERT_GE(code.length, 3);
    ASSERT_LE(code.length, 16);
  }
}

TEST(AreaReader, OffersTheAreaBitsAfterTheHeaderAndNothingBeyond) {
  std::uint8_t difBlock[80];
  for (int i = 0; i < 80; ++i) difBlock[i] = static_cast<std::uint8_t>(0xA5 ^ i);
  for (int block : {0, 5, 6, 7}) {
    SCOPED_TRACE(block);
    const std::uint8_t* start = difBlock + (block < 7 ? 5 + 10 * block : 73);
    AreaReader area(start, block);
    const int areaBits = block < 6 ? 68 : 52;
    EXPECT_EQ(area.Available(), areaBits);
    // Read the area 16 bits at a time and compare with the bytes.
    int position = 4;
    while (area.Available() > 0) {
      int got;
      const std::uint32_t value = area.Read(16, got);
      for (int i = 0; i < 16; ++i) {
        const int bit = position + i;
        const int expected =
            i < got ? (start[bit / 8] >> (7 - bit % 8)) & 1 : 0;  // zero past the area
        ASSERT_EQ((value >> (15 - i)) & 1, static_cast<std::uint32_t>(expected)) << bit;
      }
      area.Advance(got);
      position += got;
    }
    EXPECT_TRUE(area.Exhausted());
    int got = -1;
    EXPECT_EQ(area.Read(32, got), 0u);
    EXPECT_EQ(got, 0);
  }
}

class SpillStoreTest : public ::testing::Test {
 protected:
  SpillStoreTest() {
    for (int i = 0; i < 6; ++i) buffers_[i].words = storage_[i];
  }
  std::uint32_t storage_[6][kSpillWords] = {};
  SpillBuffer buffers_[6];
  SpillStore store_{buffers_};
};

TEST_F(SpillStoreTest, ChainReadsBufferAfterBuffer) {
  store_.Put(0, 0xA8000000u, 5);  // 10101
  store_.Put(1, 0xF0F0F000u, 20);
  int got;
  EXPECT_EQ(store_.Peek(0, 4, 16, got), 0xAF870000u);
  EXPECT_EQ(got, 16);
  EXPECT_EQ(store_.Skip(0, 4, 16), 0);
  EXPECT_EQ(buffers_[0].writePosition - buffers_[0].readPosition, 0);
  EXPECT_EQ(buffers_[1].writePosition - buffers_[1].readPosition, 9);
  // Asking for more than the chain holds gives what there is.
  EXPECT_EQ(store_.Peek(0, 4, 32, got), 0x87800000u);
  EXPECT_EQ(got, 9);
  EXPECT_EQ(store_.Skip(0, 4, 12), 3);
}

TEST_F(SpillStoreTest, EmptyBuffersGiveNothing) {
  int got = -1;
  EXPECT_EQ(store_.Peek(2, 2, 16, got), 0u);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(store_.Skip(2, 2, 7), 7);
  EXPECT_EQ(store_.Skip(2, 2, 0), 0);
  store_.Put(2, 0xFFFFFFFFu, 0);
  EXPECT_EQ(buffers_[2].writePosition, 0);
}

TEST_F(SpillStoreTest, UnalignedPutsKeepEveryBit) {
  // 7 bits, then 32, then 3: reading back across the word boundaries gives the same bits.
  store_.Put(3, 0xFE000000u, 7);
  store_.Put(3, 0x12345678u, 32);
  store_.Put(3, 0xA0000000u, 3);
  int got;
  EXPECT_EQ(store_.Peek(3, 3, 32, got), 0xFE2468ACu);
  EXPECT_EQ(store_.Skip(3, 3, 32), 0);
  EXPECT_EQ(store_.Peek(3, 3, 32, got), 0xF1400000u);
  EXPECT_EQ(got, 10);

  // Gathering into the chain buffer keeps the unread bits in order.
  store_.Put(0, 0xC0000000u, 2);
  store_.Gather(buffers_[5]);
  EXPECT_EQ(store_.Peek(5, 5, 12, got), 0xFC500000u);
  EXPECT_EQ(got, 12);

  // Opening again empties the buffer, and what it held no longer shows.
  SpillStore::Open(buffers_[3]);
  store_.Put(3, 0x80000000u, 1);
  EXPECT_EQ(store_.Peek(3, 3, 32, got), 0x80000000u);
  EXPECT_EQ(got, 1);
}

}  // namespace
}  // namespace halvaris
