#pragma once

// The broadcast-wave origin of a WAV file from the first frame of its sound: the time reference
// from the frame's timecode, the origination date and time from its recording time.

#include <optional>

#include "audio/wav_writer.h"
#include "report/frame_entry.h"

namespace halvaris::decode_tool::report {

// Samples at `sampleRate` from midnight to the start of the frame whose timecode is `timecode`:
// the timecode's label number times the length of a label (1001/30000 s in the 59.94 Hz systems,
// whose 720-line frames come in pairs under one label; 1/25 s at 50 Hz), rounded.
std::uint64_t SamplesSinceMidnight(const Timecode& timecode, int system, int sampleRate);

// The origin for the sound that starts with `first`; none when the frame has neither a timecode
// nor a recording time.
std::optional<audio::BroadcastWaveOrigin> BroadcastOriginOf(const FrameEntry& first,
                                                            int sampleRate);

}  // namespace halvaris::decode_tool::report
