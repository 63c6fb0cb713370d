#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "system_detection.h"

namespace halvaris::media::audio {

// The sound carried in the audio DIF blocks of DVCPRO HD frames of the 1080-line systems: each
// of the frame's four DIF channels carries two sound channels, one in the first half of its DIF
// sequences and one in the second, 16-bit samples at 48 kHz spread over the nine audio blocks of
// each sequence. The audio auxiliary source pack of each half tells the samples of the frame.
class DifAudio {
 public:
  // The sound channels a frame carries: those whose blocks hold a source pack for 16-bit 48 kHz
  // sound, counted up to the last such channel (channels between that carry none are kept, as
  // silence, so that the others keep their places). 0 when the frame carries no sound or its
  // system's audio blocks are not read.
  static int ChannelsOf(const std::uint8_t* frame, std::size_t bytes, VideoSystem system);

  // Whether sound is read from frames of `system` (not yet from the 720-line systems).
  static bool Reads(VideoSystem system);

  struct FrameSound {
    std::size_t samples = 0;     // per channel
    std::uint64_t silenced = 0;  // samples written as silence: marked as errors, or missing
  };

  // Decodes `channels` channels of the frame's sound into `out` as interleaved 16-bit
  // little-endian samples. `expectedSamples` is used when no channel's source pack says how many
  // samples the frame holds. Never fails on data: damage gives silence, counted.
  static FrameSound Decode(const std::uint8_t* frame, std::size_t bytes, VideoSystem system,
                           int channels, std::size_t expectedSamples,
                           std::vector<std::uint8_t>& out);
};

}  // namespace halvaris::media::audio
