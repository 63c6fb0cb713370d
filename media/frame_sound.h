#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/pcm_source.h"
#include "system_detection.h"

namespace halvaris::media {

// The sound that belongs to each video frame of an input, whatever holds it: the audio blocks of
// the frames themselves, or sound tracks and files beside them.
class FrameSound {
 public:
  virtual ~FrameSound() = default;

  // The sound's format, settled with the first frame decoded (`frame`); 0 channels when there is
  // no sound.
  virtual audio::PcmFormat FormatOf(const std::uint8_t* frame, std::size_t bytes) = 0;

  // Appends the samples of frame `frameNumber` (whose compressed bytes are `frame`) to `out`,
  // interleaved little-endian. Returns how many of them (each channel's counted) were written as
  // silence because the source marks them as damaged or lacks them.
  // False when the sound lies beside the frames: AppendSamples then never looks at `frame`.
  virtual bool ReadsFrames() const { return true; }

  virtual std::uint64_t AppendSamples(std::int64_t frameNumber, const std::uint8_t* frame,
                                      std::size_t bytes, std::vector<std::uint8_t>& out) = 0;
};

// The sound in the audio blocks of DVCPRO HD frames of `system`; nullptr, with the reason in
// `warnings`, for systems whose audio blocks are not read.
std::unique_ptr<FrameSound> OpenSoundInFrames(VideoSystem system,
                                              std::vector<std::string>& warnings);

// Sound read from `source`, frame n holding samples [firstSampleOf(n), firstSampleOf(n + 1)).
std::unique_ptr<FrameSound> SoundBesideFrames(
    std::unique_ptr<audio::PcmSource> source,
    std::function<std::uint64_t(std::int64_t)> firstSampleOf);

// firstSampleOf for sound at 48 kHz beside frames of `system`: 1602 and 1601 samples in turn at
// 29.97 frames a second, 1920 at 25.
std::function<std::uint64_t(std::int64_t)> FirstSamplesAtRateOf(VideoSystem system);

}  // namespace halvaris::media
