#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/pcm_source.h"
#include "mxf/mxf_file.h"

namespace halvaris::media::mxf {

// The PCM sound of one track of an MXF file: WAVE (BWF) or AES3 essence, frame-wrapped (one
// element per edit unit) or clip-wrapped. Both hold interleaved little-endian samples.
class SoundTrack : public audio::PcmSource {
 public:
  // `track` is one of file.Packages().tracks, of kind Sound. Walks the essence once to find the
  // track's elements. Throws MediaError when the descriptor does not describe PCM that can be
  // read (the caller passes over the track with a warning).
  SoundTrack(MxfFile& file, const EssenceTrack& track);

  audio::PcmFormat Format() const override { return format_; }
  std::uint64_t SampleCount() const override { return sampleCount_; }
  std::uint64_t Read(std::uint64_t first, std::size_t count, std::uint8_t* out) override;

  // The first sample of edit unit `index`: counted through the elements of frame-wrapped
  // sound, computed from the rates for clip-wrapped sound. An edit unit whose content package
  // holds no element of the track gets the rate's share of silence.
  std::uint64_t FirstSampleOfEditUnit(std::int64_t index, const Rational& videoRate) const;

  std::uint32_t TrackId() const { return trackId_; }
  bool FrameWrapped() const { return editUnitsPerElement_; }
  const std::vector<std::string>& Warnings() const { return warnings_; }

 private:
  struct Element {
    std::uint64_t offset;       // of the first sample
    std::uint64_t firstSample;  // of the track
    std::uint64_t samples;
    std::int64_t editUnit;  // the content package it stands in; never less than the last's
  };

  MxfFile& file_;
  audio::PcmFormat format_;
  std::uint32_t trackId_ = 0;
  bool editUnitsPerElement_ = false;
  std::vector<Element> elements_;
  std::uint64_t sampleCount_ = 0;
  std::vector<std::string> warnings_;
};

// The sound tracks of the file package, in its order.
std::vector<const EssenceTrack*> SoundTracksOf(const MxfFile& file);

}  // namespace halvaris::media::mxf
