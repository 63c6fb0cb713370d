#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

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

// The short table the hot loop reads must agree with the full decode on every 10-bit prefix:
// the same length and run, the amplitude with the bias that truncates its products toward zero,
// and no claim on an index whose code is longer, an escape or end of block.
TEST(AcCodes, ShortTableAgreesWithTheFullDecode) {
  int shortCodes = 0;
  for (std::uint32_t index = 0; index < (1u << kShortCodeBits); ++index) {
    const ShortCode entry = ShortCodeTable[index];
    const AcCode code = DecodeAcCode(index << (16 - kShortCodeBits), 16);
    SCOPED_TRACE(index);
    if (code.run == kEndOfBlock) {
      EXPECT_EQ(entry.length, 4);
      EXPECT_EQ(entry.advance, kEndOfBlockAdvance);
    } else if (code.length > kShortCodeBits) {
      EXPECT_EQ(entry.length, kLookFurther);
    } else {
      ++shortCodes;
      EXPECT_EQ(entry.length, code.length);
      EXPECT_EQ(entry.advance, code.run + 1);
      EXPECT_EQ(entry.amplitude, code.amplitude);
      EXPECT_EQ(entry.roundingBias, code.amplitude < 0 ? 31 : 0);
    }
  }
  EXPECT_GT(shortCodes, 900);  // nearly every prefix starts a short code
}

TEST(BlockArea, OffersTheAreaBitsAfterTheHeaderAndNothingBeyond) {
  std::uint8_t difBlock[80];
  for (int i = 0; i < 80; ++i) difBlock[i] = static_cast<std::uint8_t>(0xA5 ^ i);
  for (int block : {0, 5, 6, 7}) {
    SCOPED_TRACE(block);
    const std::uint8_t* start = difBlock + (block < 7 ? 5 + 10 * block : 73);
    BlockArea area(start, block);
    const int areaBits = block < 6 ? 68 : 52;
    EXPECT_EQ(area.Available(), areaBits);
    // Read the area in steps of 13 bits (so that the steps straddle the refill) and compare with
    // the bytes; the window must be zero past its real bits.
    int position = 4;
    while (area.Available() > 0) {
      area.RefillIfShort();
      const int got = area.window.count < 13 ? area.window.count : 13;
      ASSERT_GT(got, 0);
      for (int i = 0; i < 64; ++i) {
        const int bit = position + i;
        const int expected = i < area.window.count ? (start[bit / 8] >> (7 - bit % 8)) & 1 : 0;
        ASSERT_EQ((area.window.bits >> (63 - i)) & 1, static_cast<std::uint64_t>(expected)) << bit;
      }
      area.window.Consume(got);
      position += got;
    }
    EXPECT_EQ(position, 4 + areaBits);
    EXPECT_EQ(area.window.bits, 0u);
    EXPECT_FALSE(area.RefillIfShort());
  }
}

class SpillStoreTest : public ::testing::Test {
 protected:
  SpillStoreTest() {
    for (int i = 0; i < 5; ++i) buffers_[i].words = storage_[i];
    buffers_[kChainBuffer].words = chainStorage_;
    for (SpillBuffer& buffer : buffers_) SpillStore::Open(buffer);
  }
  static std::uint64_t Top(std::uint32_t bits) { return std::uint64_t{bits} << 32; }
  std::uint64_t storage_[5][kSpillWords] = {};
  std::uint64_t chainStorage_[kChainWords] = {};
  SpillBuffer buffers_[6];
};

TEST_F(SpillStoreTest, ChainReadsBufferAfterBuffer) {
  SpillStore::Put(buffers_[0], Top(0xA8000000u), 5);  // 10101
  SpillStore::Put(buffers_[1], Top(0xF0F0F000u), 20);
  SpillStore::Gather(buffers_, buffers_[kChainBuffer]);
  SpillBuffer& chain = buffers_[kChainBuffer];
  int got;
  EXPECT_EQ(SpillStore::Peek(chain, 16, got), Top(0xAF870000u));
  EXPECT_EQ(got, 16);
  EXPECT_EQ(SpillStore::Skip(chain, 16), 0);
  // Asking for more than the chain holds gives what there is.
  EXPECT_EQ(SpillStore::Peek(chain, 32, got), Top(0x87800000u));
  EXPECT_EQ(got, 9);
  EXPECT_EQ(SpillStore::Skip(chain, 12), 3);
}

TEST_F(SpillStoreTest, EmptyBuffersGiveNothing) {
  int got = -1;
  EXPECT_EQ(SpillStore::Peek(buffers_[2], 16, got), 0u);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(SpillStore::Skip(buffers_[2], 7), 7);
  EXPECT_EQ(SpillStore::Skip(buffers_[2], 0), 0);
  SpillStore::Put(buffers_[2], 0, 0);
  EXPECT_EQ(buffers_[2].writePosition, 0);
}

TEST_F(SpillStoreTest, UnalignedPutsKeepEveryBitAndGatherSkipsWhatWasRead) {
  // Leftovers of every length up to 64, at every alignment, read back across word boundaries.
  std::mt19937_64 random(11);
  std::vector<int> bits;
  for (int length = 0; length <= 64 && buffers_[3].writePosition + length <= kSpillCapacityBits;
       length += 7) {
    const std::uint64_t value = length == 0 ? 0 : random() & (~std::uint64_t{0} << (64 - length));
    SpillStore::Put(buffers_[3], value, length);
    for (int i = 0; i < length; ++i) bits.push_back(static_cast<int>((value >> (63 - i)) & 1));
  }
  ASSERT_EQ(buffers_[3].writePosition, static_cast<int>(bits.size()));
  SpillStore::Skip(buffers_[3], 3);
  SpillStore::Put(buffers_[4], Top(0xC0000000u), 2);
  SpillStore::Gather(buffers_, buffers_[kChainBuffer]);
  bits.erase(bits.begin(), bits.begin() + 3);
  bits.push_back(1);
  bits.push_back(1);
  SpillBuffer& chain = buffers_[kChainBuffer];
  for (std::size_t at = 0; at < bits.size(); at += 64) {
    int got;
    const std::uint64_t value = SpillStore::Peek(chain, 64, got);
    ASSERT_EQ(got, static_cast<int>(std::min<std::size_t>(64, bits.size() - at)));
    for (int i = 0; i < 64; ++i) {
      const int expected = i < got ? bits[at + i] : 0;
      ASSERT_EQ((value >> (63 - i)) & 1, static_cast<std::uint64_t>(expected)) << at + i;
    }
    SpillStore::Skip(chain, got);
  }

  // Opening again empties the buffer, and what it held no longer shows.
  SpillStore::Open(buffers_[3]);
  SpillStore::Put(buffers_[3], Top(0x80000000u), 1);
  int got;
  EXPECT_EQ(SpillStore::Peek(buffers_[3], 32, got), Top(0x80000000u));
  EXPECT_EQ(got, 1);
}

}  // namespace
}  // namespace halvaris
