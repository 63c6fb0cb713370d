#include "mxf/mxf_frame_source.h"

#include <algorithm>

#include "media_error.h"
#include "mxf/sound_track.h"

namespace halvaris::media {

MxfFrameReader::MxfFrameReader(std::unique_ptr<mxf::MxfFile> file, VideoSystem forcedSystem)
    : file_(std::move(file)), track_(*file_, forcedSystem) {}

bool MxfFrameReader::ReadFrame(std::vector<std::uint8_t>& frame) {
  if (next_ >= track_.FrameCount()) return false;
  const mxf::FrameLocation location = track_.Frame(next_);
  // An element longer than a frame carries nothing the decoder reads past the frame's size.
  const std::uint64_t frameBytes = GeometryOf(track_.System()).frameBytes;
  frame.resize(static_cast<std::size_t>(std::min(location.size, frameBytes)));
  if (!file_->Source().ReadExactly(location.offset, frame.data(), frame.size())) {
    throw MediaError("frame " + std::to_string(next_) + " of the MXF video is cut short");
  }
  ++next_;
  return true;
}

OpenedInput OpenMxfInput(const std::string& path, VideoSystem forcedSystem) {
  return OpenMxfInput(std::make_unique<mxf::MxfFile>(OpenByteSource(path)), forcedSystem);
}

OpenedInput OpenMxfInput(std::unique_ptr<mxf::MxfFile> file, VideoSystem forcedSystem) {
  const std::string pattern = file->OperationalPattern();
  auto source = std::make_unique<MxfFrameReader>(std::move(file), forcedSystem);
  OpenedInput opened;
  opened.container = Container::Mxf;
  opened.system = source->Track().System();
  opened.systemSource = source->Track().SystemSource();
  opened.fieldOrder = source->Track().Order();
  const std::int64_t count = source->FrameCount();
  if (count == 0) throw MediaError(source->File().Name() + ": the MXF video has no frames");
  opened.description = pattern + " MXF file, " + source->Track().Describe() + ", " +
                       std::to_string(count) + (count == 1 ? " frame" : " frames");
  opened.warnings = source->File().Warnings();
  opened.warnings.insert(opened.warnings.end(), source->Track().Warnings().begin(),
                         source->Track().Warnings().end());
  const VideoSystem system = opened.system;
  MxfFrameReader* frames = source.get();
  opened.openSound = [frames, system](std::vector<std::string>& warnings) {
    std::unique_ptr<FrameSound> sound = OpenMxfSoundTracks(frames->File(), system, warnings);
    if (sound != nullptr || !mxf::SoundTracksOf(frames->File()).empty()) return sound;
    return OpenSoundInFrames(system, warnings);
  };
  opened.source = std::move(source);
  return opened;
}

std::unique_ptr<FrameSound> OpenMxfSoundTracks(mxf::MxfFile& file, VideoSystem system,
                                               std::vector<std::string>& warnings) {
  std::vector<std::unique_ptr<audio::PcmSource>> tracks;
  mxf::SoundTrack* first = nullptr;
  for (const mxf::EssenceTrack* track : mxf::SoundTracksOf(file)) {
    try {
      auto sound = std::make_unique<mxf::SoundTrack>(file, *track);
      warnings.insert(warnings.end(), sound->Warnings().begin(), sound->Warnings().end());
      if (first != nullptr && sound->Format().bitsPerSample != first->Format().bitsPerSample) {
        warnings.push_back("sound track " + std::to_string(track->trackId) + " of " + file.Name() +
                           " is left out: its samples are of another size");
        continue;
      }
      if (first == nullptr) first = sound.get();
      tracks.push_back(std::move(sound));
    } catch (const MediaError& error) {
      warnings.push_back(std::string(error.what()) + "; that track is left out");
    }
  }
  if (tracks.empty()) return nullptr;
  std::unique_ptr<audio::PcmSource> sound =
      tracks.size() == 1 ? std::move(tracks.front())
                         : std::make_unique<audio::ChannelJoin>(std::move(tracks));
  const HalvarisSystemInfo& geometry = GeometryOf(system);
  const mxf::Rational videoRate{geometry.frameRateNumerator, geometry.frameRateDenominator};
  return SoundBesideFrames(std::move(sound), [first, videoRate](std::int64_t frame) {
    return first->FirstSampleOfEditUnit(frame, videoRate);
  });
}

}  // namespace halvaris::media
