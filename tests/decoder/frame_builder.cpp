#include "frame_builder.h"

#include "placement_tables.h"

namespace halvaris::testing {

FrameBuilder::FrameBuilder(VideoSystem system)
    : system_(system), bytes_(GeometryOf(system).frameBytes, 0) {}

std::uint32_t FrameBuilder::BlockOffset(int c, int q, int m, int s) const {
  return BuildPlacementTables().blockAddress[system_ - 1][BlockAddressIndex(c, q, m, s)];
}

void FrameBuilder::SetStatus(int c, int q, int m, int s, int status, int quantNumber) {
  bytes_[BlockOffset(c, q, m, s) + 3] = static_cast<std::uint8_t>((status << 4) | quantNumber);
}

void FrameBuilder::SetBlockBits(int c, int q, int m, int s, int b, const std::string& bits) {
  const std::uint32_t area = BlockOffset(c, q, m, s) + (b < 7 ? 4 + 10 * b : 72);
  const int areaBits = b < 6 ? 80 : 64;
  for (int i = 0; i < areaBits; ++i)
    bytes_[area + i / 8] &= static_cast<std::uint8_t>(~(0x80 >> (i % 8)));
  int position = 0;
  for (char bit : bits) {
    if (bit != '0' && bit != '1') continue;
    if (position >= areaBits) break;
    if (bit == '1')
      bytes_[area + position / 8] |= static_cast<std::uint8_t>(0x80 >> (position % 8));
    ++position;
  }
}

void FrameBuilder::FillWithEmptyBlocks() {
  const int slots = system_ == 3 ? 11 : 10;
  for (int c = 0; c < 4; ++c) {
    for (int q = 0; q < slots + (system_ == 3 && c == 0 ? 1 : 0); ++q) {
      for (int s = 0; s < 27; ++s) {
        for (int m = 0; m < 5; ++m) {
          for (int b = 0; b < 8; ++b) SetBlockBits(c, q, m, s, b, "000000000 0 00 0110");
        }
      }
    }
  }
}

}  // namespace halvaris::testing
