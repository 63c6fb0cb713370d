#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/pcm_source.h"
#include "input_file.h"
#include "mov_reader.h"

namespace halvaris::media {

// The samples of a movie's PCM sound track, as little-endian interleaved PCM. Reads the sample
// tables a piece at a time as the samples are asked for in order (going back starts over).
// Samples the tables place outside the file, or that tables found damaged on the way no longer
// place, are silence and counted.
class MovieSound : public audio::PcmSource {
 public:
  // `file` is shared with the video's reader and outlives this one.
  MovieSound(InputFile& file, MovieSoundTrack track);
  ~MovieSound() override;

  audio::PcmFormat Format() const override;
  std::uint64_t SampleCount() const override { return track_.sampleCount; }
  std::uint64_t Read(std::uint64_t first, std::size_t count, std::uint8_t* out) override;

 private:
  // Reads `bytes` at `offset` to `out`; returns how many could be.
  std::size_t ReadRun(std::uint64_t offset, std::size_t bytes, std::uint8_t* out);

  InputFile& file_;
  MovieSoundTrack track_;
  std::unique_ptr<MovieSampleReader> samples_;
  bool damaged_ = false;  // the tables failed part-way: nothing more is read
};

}  // namespace halvaris::media
