#include "mxf/sound_track.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "media_error.h"

namespace halvaris::media::mxf {

namespace {

// The format of PCM a descriptor describes; throws MediaError naming the track (`name`) when it
// describes none that is read.
audio::PcmFormat PcmFormatOf(const SoundDescriptor& sound, const std::string& name) {
  if (!sound.present || sound.channels <= 0 || sound.channels > 64) {
    throw MediaError(name + " has no usable sound descriptor");
  }
  // Samples take whole bytes: 20-bit sound is stored in three.
  int bytesPerSample = (sound.bitsPerSample + 7) / 8;
  if (sound.blockAlign > 0 && sound.blockAlign % sound.channels == 0)
    bytesPerSample = sound.blockAlign / sound.channels;
  if (bytesPerSample != 2 && bytesPerSample != 3) {
    throw MediaError(name + " holds " + std::to_string(sound.bitsPerSample) +
                     "-bit samples; only 16 and 24 bits are read");
  }
  if (sound.samplingRate.Valid() && !sound.samplingRate.Equals(48000, 1)) {
    throw MediaError(name + " is sampled at " + std::to_string(sound.samplingRate.numerator) + "/" +
                     std::to_string(sound.samplingRate.denominator) + " Hz; only 48 kHz is read");
  }
  audio::PcmFormat format;
  format.channels = sound.channels;
  format.bitsPerSample = 8 * bytesPerSample;
  format.sampleRate = 48000;
  return format;
}

}  // namespace

SoundTrack::SoundTrack(MxfFile& file, const EssenceTrack& track)
    : file_(file), trackId_(track.trackId) {
  const std::string name = "sound track " + std::to_string(track.trackId) + " of " + file.Name();
  format_ = PcmFormatOf(track.sound, name);
  const std::uint64_t frameBytes = static_cast<std::uint64_t>(format_.BytesPerFrame());

  // Elements of this track: its track number where the file gives one, else the only sound. Each
  // is tied to the content package it stands in, so that a package without one is a frame of
  // silence rather than a shift of all the sound after it: packages open with a system item where
  // the file has them; otherwise each holds one DV element, and the first package tells whether
  // the sound stands before or after it.
  const bool perFrame = !track.editRate.Equals(48000, 1);
  const bool rated = perFrame && track.editRate.Valid();
  const auto firstSampleOf = [&](std::int64_t unit) {
    return audio::FirstSampleOfFrame(unit, track.editRate.numerator, track.editRate.denominator,
                                     48000);
  };
  std::int64_t systemItems = 0;
  std::int64_t dvElements = 0;
  bool bySystemItems = false;
  std::int64_t dvElementsBeforeFirst = 0;
  std::int64_t nextUnit = 0;
  const std::size_t soundTracks = SoundTracksOf(file).size();
  const std::uint64_t fileSize = file.Source().Size();
  bool cutShort = false;
  file.WalkEssence([&](const Klv& klv) {
    if (IsSystemMetadataPack(klv.key)) ++systemItems;
    if (IsDvElement(klv.key)) ++dvElements;
    if (!IsSoundElement(klv.key)) return true;
    const bool ours =
        TrackNumberOf(klv.key) == track.trackNumber || (soundTracks == 1 && track.trackNumber == 0);
    if (!ours) return true;
    std::uint64_t length = klv.length;
    if (klv.valueOffset + length > fileSize) {
      length = fileSize - std::min(fileSize, klv.valueOffset);
      cutShort = true;
    }
    if (elements_.empty()) {
      bySystemItems = systemItems > 0;
      dvElementsBeforeFirst = dvElements;
    }
    std::int64_t unit = static_cast<std::int64_t>(elements_.size());
    if (rated && bySystemItems) {
      unit = systemItems - 1;
    } else if (rated && dvElements > 0) {
      unit = dvElements - (dvElementsBeforeFirst > 0 ? 1 : 0);
    }
    unit = std::max(unit, elements_.empty() ? 0 : elements_.back().editUnit);
    // Packages before this one without this track's sound: their share of silence.
    if (unit > nextUnit) sampleCount_ += firstSampleOf(unit) - firstSampleOf(nextUnit);
    elements_.push_back({klv.valueOffset, sampleCount_, length / frameBytes, unit});
    sampleCount_ += length / frameBytes;
    nextUnit = std::max(nextUnit, unit + 1);
    return true;
  });
  if (elements_.empty()) throw MediaError(name + " has no sound in the file");
  if (cutShort) warnings_.push_back(name + " is cut short by the end of the file");
  // Edit units of the track's own rate (48000/1) mean clip-wrapped sound even in many elements.
  editUnitsPerElement_ = elements_.size() > 1 && perFrame;
  if (!editUnitsPerElement_) {
    // One element (or sound counted in samples) holds the track from its first sample on.
    std::uint64_t first = 0;
    for (Element& element : elements_) {
      element.firstSample = first;
      first += element.samples;
    }
    sampleCount_ = first;
  }
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
    while (element != elements_.end() && sample >= element->firstSample + element->samples)
      ++element;
    if (element == elements_.end() || sample >= sampleCount_) {
      silent += count - done;
      break;
    }
    if (sample < element->firstSample) {
      // Frames whose packages hold none of this track's sound: silence.
      const std::uint64_t gap =
          std::min<std::uint64_t>(count - done, element->firstSample - sample);
      silent += gap;
      done += static_cast<std::size_t>(gap);
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
    const auto element =
        std::lower_bound(elements_.begin(), elements_.end(), index,
                         [](const Element& e, std::int64_t unit) { return e.editUnit < unit; });
    if (element != elements_.end() && element->editUnit == index) return element->firstSample;
    // A frame without sound of its own, between elements or past the last: the video's rate
    // goes on from the end of the element before it, so that such frames get their share (of
    // silence) rather than none.
    if (element == elements_.begin()) {
      return audio::FirstSampleOfFrame(index, videoRate.numerator, videoRate.denominator, 48000);
    }
    const Element& before = *std::prev(element);
    return before.firstSample + before.samples +
           audio::FirstSampleOfFrame(index, videoRate.numerator, videoRate.denominator, 48000) -
           audio::FirstSampleOfFrame(before.editUnit + 1, videoRate.numerator,
                                     videoRate.denominator, 48000);
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

}  // namespace halvaris::media::mxf
