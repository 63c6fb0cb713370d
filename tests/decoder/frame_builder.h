#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "test_frames.h"

#include "video_system.h"

namespace halvaris::testing {

// Writes compressed macroblocks bit by bit into an otherwise zero frame of a video system.
class FrameBuilder {
 public:
  explicit FrameBuilder(VideoSystem system);

  // Byte offset of the video DIF block of macroblock m of segment slot (c, q, s).
  std::uint32_t BlockOffset(int c, int q, int m, int s) const;

  // Sets the quantisation number (and status) byte of a macroblock.
  void SetStatus(int c, int q, int m, int s, int status, int quantNumber);

  // Writes `bits` ('0'/'1', spaces ignored) into block b's area from its first bit: 9 DC bits,
  // the mode bit, 2 class bits, then AC codes. Bits past the area are dropped.
  void SetBlockBits(int c, int q, int m, int s, int b, const std::string& bits);

  // Every block of every macroblock: DC 0, frame mode, class 0, end of block.
  void FillWithEmptyBlocks();

  std::vector<std::uint8_t>& Bytes() { return bytes_; }

 private:
  VideoSystem system_;
  std::vector<std::uint8_t> bytes_;
};

}  // namespace halvaris::testing
