#include "mxf/sound_track.h"

#include <algorithm>
#include <cstring>

#include "tool_error.h"

namespace halvaris::decode_tool::mxf {

SoundTrack::SoundTrack(MxfFile& file, const EssenceTrack& track)
    : file_(file), trackId_(track.trackId) {
  const SoundDescriptor& sound = track.sound;
  const std::string name = "sound track " + std::to_string(track.trackId) + " of " + file.Name();
  if (!sound.present || sound.channels <= 0 || sound.channels > 64) {
    throw ToolError(name + " has no usable sound descriptor");
  }
  // Samples take whole bytes: 20-bit sound is stored in three.
  int bytesPerSample = (sound.bitsPerSample + 7) / 8;
  if (sound.blockAlign > 0 && sound.blockAlign % sound.channels == 0)
    bytesPerSample = sound.blockAlign / sound.channels;
  if (bytesPerSample != 2 && bytesPerSample != 3) {
    throw ToolError(name + " holds " + std::to_string(sound.bitsPerSample) +
                    "-bit samples; only 16 and 24 bits are read");
  }
  if (sound.samplingRate.Valid() && !sound.samplingRate.Equals(48000, 1)) {
    throw ToolError(name + " is sampled at " + std::to_string(sound.samplingRate.numerator) + "/" +
                    std::to_string(sound.samplingRate.denominator) + " Hz; only 48 kHz is read");
  }
  format_.channels = sound.channels;
  format_.bitsPerSample = 8 * bytesPerSample;
  format_.sampleRate = 48000;
  const std::uint64_t frameBytes = static_cast<std::uint64_t>(format_.BytesPerFrame());

  // Elements of this track: its track number where the file gives one, else the only sound.
  const std::size_t soundTracks = SoundTracksOf(file).size();
  const std::uint64_t fileSize = file.Source().Size();
  bool cutShort = false;
  file.WalkEssence([&](const Klv& klv) {
    if (!IsSoundElement(klv.key)) return true;
    const bool ours =
        TrackNumberOf(klv.key) == track.trackNumber || (soundTracks == 1 && track.trackNumber == 0);
    if (!ours) return true;
    std::uint64_t length = klv.length;
    if (klv.valueOffset + length > fileSize) {
      length = fileSize - std::min(fileSize, klv.valueOffset);
      cutShort = true;
    }
    elements_.push_back({klv.valueOffset, sampleCount_, length / frameBytes});
    sampleCount_ += length / frameBytes;
    return true;
  });
  if (elements_.empty()) throw ToolError(name + " has no sound in the file");
  if (cutShort) warnings_.push_back(name + " is cut short by the end of the file");
  // Edit units of the track's own rate (48000/1) mean clip-wrapped sound even in many elements.
  editUnitsPerElement_ = elements_.size() > 1 && !track.editRate.Equals(48000, 1);
}

std::uint64_t SoundTrack::Read(std::uint64_t first, std::size_t count, std::uint8_t* out) {
  const std::size_t frameBytes = static_cast<std::size_t>(format_.BytesPerFrame());
  std::memset(out, 0, count * frameBytes);
  std::uint64_t silent = 0;
  std::size_t done = 0;
  auto element = std::upper_bound(
      elements_.begin(), elements_.end(), first,
      [](std::uint64_t sample, const Element& e) { return sample < e.firstSample; });
  if (element != elements_.begin()) --element;
  while (done < count) {
    const std::uint64_t sample = first + done;
    if (element == elements_.end() || sample >= sampleCount_) {
      silent += count - done;
      break;
    }
    if (sample >= element->firstSample + element->samples) {
      ++element;
      continue;
    }
    const std::uint64_t within = sample - element->firstSample;
    const std::size_t take =
        static_cast<std::size_t>(std::min<std::uint64_t>(count - done, element->samples - within));
    const std::size_t got = file_.Source().ReadAt(element->offset + within * frameBytes,
                                                  out + done * frameBytes, take * frameBytes);
    if (got < take * frameBytes) {
      std::memset(out + done * frameBytes + got, 0, take * frameBytes - got);
      silent += take - got / frameBytes;
    }
    done += take;
  }
  return silent;
}

std::uint64_t SoundTrack::FirstSampleOfEditUnit(std::int64_t index,
                                                const Rational& videoRate) const {
  if (index <= 0) return 0;
  if (editUnitsPerElement_) {
    if (static_cast<std::uint64_t>(index) < elements_.size())
      return elements_[static_cast<std::size_t>(index)].firstSample;
    // Past the last element the video's rate goes on, so that frames there get their share (of
    // silence) rather than none.
    const auto last = static_cast<std::int64_t>(elements_.size());
    return sampleCount_ +
           audio::FirstSampleOfFrame(index, videoRate.numerator, videoRate.denominator, 48000) -
           audio::FirstSampleOfFrame(last, videoRate.numerator, videoRate.denominator, 48000);
  }
  return audio::FirstSampleOfFrame(index, videoRate.numerator, videoRate.denominator, 48000);
}

std::vector<const EssenceTrack*> SoundTracksOf(const MxfFile& file) {
  std::vector<const EssenceTrack*> tracks;
  for (const EssenceTrack& track : file.Packages().tracks) {
    if (track.kind == TrackKind::Sound) tracks.push_back(&track);
  }
  return tracks;
}

}  // namespace halvaris::decode_tool::mxf
