#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "decoder/video_system.h"

namespace halvaris::decode_tool {

enum class FieldOrder { Unknown, TopFirst, BottomFirst };

// What the header block and the video auxiliary data at the start of a frame say about it.
struct StreamFacts {
  bool difHeader = false;  // the bytes begin with the header block of a DIF sequence
  VideoSystem system = 0;  // 0: the data do not name a DVCPRO HD system
  FieldOrder fieldOrder = FieldOrder::Unknown;
  int sourceType = -1;  // STYPE of the video source pack, -1 when there is none
};

// Bytes needed for ReadStreamFacts: the header, subcode and video auxiliary blocks of the first
// DIF sequence.
constexpr std::size_t kStreamFactsBytes = 6 * kDifBlockBytes;

// Reads the first `bytes` bytes of a frame (fewer than kStreamFactsBytes give what they can).
StreamFacts ReadStreamFacts(const std::uint8_t* data, std::size_t bytes);

// "1080 lines at 60 Hz (1280x1080)".
std::string DescribeSystem(VideoSystem system);

// The system whose compressed frames are exactly `frameBytes` long, or 0.
VideoSystem SystemOfFrameSize(std::uint64_t frameBytes);

}  // namespace halvaris::decode_tool
