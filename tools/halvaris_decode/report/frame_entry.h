#pragma once

// One frame of the report: what the library read from the frame, in the forms the report writes.

#include <cstdint>
#include <optional>
#include <string>

#include "halvaris/halvaris.h"

namespace halvaris::decode_tool::report {

struct Timecode {
  int hours = 0, minutes = 0, seconds = 0, frames = 0;
  bool dropFrame = false;

  // "hh:mm:ss:ff", with ';' before the frames when counted drop-frame.
  std::string Text() const;
  bool operator==(const Timecode& other) const;
};

struct RecordedAt {
  int year = 0, month = 0, day = 0, hours = 0, minutes = 0, seconds = 0;

  // "YYYY-MM-DD hh:mm:ss".
  std::string Text() const;
  // Seconds since 1970-01-01 00:00:00 of the recording's own clock (no time zone applied).
  std::int64_t Seconds() const;
};

// What the report keeps of a frame's picture and sound: frames that share it form one run.
struct FrameProperties {
  int system = 0;
  int displayMode = -1;  // DISP of the source control pack, -1 without one
  int fieldOrder = HALVARIS_FIELD_ORDER_UNKNOWN;
  int soundChannels = 0;  // -1 where the frames' sound is not read

  bool operator==(const FrameProperties& other) const;
  bool operator!=(const FrameProperties& other) const { return !(*this == other); }
};

struct FrameEntry {
  std::uint64_t frame = 0;  // counted from 0
  std::optional<Timecode> timecode;
  std::optional<RecordedAt> recorded;  // date and time both; the video auxiliary packs first
  bool recordingStart = false;
  std::uint32_t flaggedBlocks = 0;
  std::uint32_t concealedBlocks = 0;
  std::uint32_t errorBlocks = 0;
  std::uint32_t reservedBlocks = 0;
  std::uint32_t audioErrorSamples = 0;
  std::optional<std::uint32_t> unfinishedBlocks;  // only where the frame was decoded
  FrameProperties properties;
};

// The entry of frame `frame` from the library's description of it; `unfinishedBlocks` as
// halvaris_decode_frame_counting gave it, when the frame was decoded.
FrameEntry EntryOf(std::uint64_t frame, const HalvarisFrameDescription& description,
                   std::optional<std::uint32_t> unfinishedBlocks = std::nullopt);

}  // namespace halvaris::decode_tool::report
