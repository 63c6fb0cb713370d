#pragma once

// The library's video-system facts in the forms the program works with.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "halvaris/halvaris.h"

namespace halvaris::media {

// 1 = 1080 lines at 60 Hz, 2 = 720 lines at 60 Hz, 3 = 1080 lines at 50 Hz, 4 = 720 lines at
// 50 Hz; 0 where no system is known.
using VideoSystem = int;

inline bool IsValidVideoSystem(int system) {
  return system >= 1 && system <= 4;
}

// Sizes and rate of a valid system (1..4).
const HalvarisSystemInfo& GeometryOf(VideoSystem system);

inline std::size_t PictureBytes(VideoSystem system) {
  return GeometryOf(system).pictureBytes;
}

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
constexpr std::size_t kStreamFactsBytes = HALVARIS_DETECT_BYTES;

// Reads the first `bytes` bytes of a frame (fewer than kStreamFactsBytes give what they can).
StreamFacts ReadStreamFacts(const std::uint8_t* data, std::size_t bytes);

// The video system of an input and where it came from ("from the stream's own data").
struct SettledSystem {
  VideoSystem system = 0;  // 0: nothing tells it
  std::string source;
};

// What a container says about its system, and where it says it ("from the size of the MXF
// frames"); 0 when it does not say.
struct ContainerSays {
  VideoSystem system;
  std::string source;
};

// The one rule every reader settles the system by: the caller's forced system (1..4), else what
// the frames' own data say, else the first of `container` that names one.
SettledSystem SettleSystem(VideoSystem forcedSystem, const StreamFacts& facts,
                           const std::vector<ContainerSays>& container = {});

// "1080 lines at 60 Hz (1280x1080)".
std::string DescribeSystem(VideoSystem system);

// What kind of DV the header data of a frame name when they name no DVCPRO HD system, for
// example "DVCPRO50 (50 Mb/s)"; empty when they name none (no DIF header, no source pack).
std::string OtherDvKind(const StreamFacts& facts);

// Watches the systems the frames of a stream name: a stream whose frames change system part-way
// (two clips joined) cannot be decoded as one.
class SystemWatch {
 public:
  // Returns what is wrong with a frame whose first bytes are `data`, or "" when it belongs with
  // the frames before it (or does not say).
  std::string Check(const std::uint8_t* data, std::size_t bytes, std::int64_t frameNumber);

 private:
  std::int64_t first_ = -1;  // the first frame that named its kind
  std::string kind_;
};

// The system whose compressed frames are exactly `frameBytes` long, or 0.
inline VideoSystem SystemOfFrameSize(std::uint64_t frameBytes) {
  return halvaris_system_of_frame_size(frameBytes);
}

}  // namespace halvaris::media
