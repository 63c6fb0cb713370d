#include "frame_source.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "input_file.h"
#include "media_error.h"
#include "mov_reader.h"
#include "movie_sound.h"
#include "mxf/mxf_file.h"
#include "mxf/mxf_frame_source.h"
#include "mxf/p2_card.h"

namespace halvaris::media {

namespace {

// Frames of one fixed size back to back, from a file or a pipe. The bytes read to recognise the
// input are handed out again before reading on.
class RawDifSource : public FrameReader {
 public:
  RawDifSource(std::unique_ptr<InputFile> file, std::vector<std::uint8_t> head,
               std::size_t frameBytes)
      : file_(std::move(file)), head_(std::move(head)), frameBytes_(frameBytes) {}

  std::int64_t FrameCount() const override {
    if (file_->Size() < 0) return -1;
    const std::int64_t bytes = static_cast<std::int64_t>(frameBytes_);
    return (file_->Size() + bytes - 1) / bytes;
  }

  bool Seekable() const override { return file_->Size() >= 0; }

  void SkipTo(std::int64_t index) override {
    if (index == next_) return;
    if (file_->Size() >= 0) {
      head_.clear();
      file_->Seek(index * static_cast<std::int64_t>(frameBytes_));
      next_ = index;
      return;
    }
    if (index < next_) {
      throw MediaError(file_->Name() + " is a stream: frame " + std::to_string(index) +
                           " lies before frame " + std::to_string(next_) + ", read already",
                       MediaErrorCode::NotSeekable);
    }
    std::vector<std::uint8_t> discarded;
    while (next_ < index && ReadFrame(discarded)) {
    }
  }

  bool ReadFrame(std::vector<std::uint8_t>& frame) override {
    frame.resize(frameBytes_);
    const std::size_t fromHead = std::min(head_.size(), frameBytes_);
    std::copy(head_.begin(), head_.begin() + static_cast<std::ptrdiff_t>(fromHead), frame.begin());
    head_.erase(head_.begin(), head_.begin() + static_cast<std::ptrdiff_t>(fromHead));
    const std::size_t got = fromHead + file_->Read(frame.data() + fromHead, frameBytes_ - fromHead);
    frame.resize(got);
    if (got == 0) return false;
    ++next_;
    return true;
  }

 private:
  std::unique_ptr<InputFile> file_;
  std::vector<std::uint8_t> head_;
  std::size_t frameBytes_;
  std::int64_t next_ = 0;
};

class MovieSource : public FrameReader {
 public:
  MovieSource(std::unique_ptr<InputFile> file, MovieVideoTrack track, std::size_t frameBytes)
      : file_(std::move(file)),
        track_(std::move(track)),
        samples_(std::make_unique<MovieSampleReader>(*file_, track_)),
        frameBytes_(frameBytes) {}

  std::int64_t FrameCount() const override { return static_cast<std::int64_t>(track_.sampleCount); }

  InputFile& File() { return *file_; }

  void SkipTo(std::int64_t index) override {
    // The sample tables are read forwards in pieces: going back starts them again.
    if (samples_->NextIndex() > static_cast<std::uint64_t>(index))
      samples_ = std::make_unique<MovieSampleReader>(*file_, track_);
    MovieSample sample;
    while (samples_->NextIndex() < static_cast<std::uint64_t>(index) && samples_->Next(sample)) {
    }
  }

  bool ReadFrame(std::vector<std::uint8_t>& frame) override {
    const std::uint64_t index = samples_->NextIndex();
    MovieSample sample;
    if (!samples_->Next(sample)) return false;
    CheckSampleInFile(sample, index, file_->Size());
    // A sample longer than a frame carries nothing the decoder reads past the frame's size.
    frame.resize(std::min<std::size_t>(sample.size, frameBytes_));
    file_->Seek(static_cast<std::int64_t>(sample.offset));
    if (file_->Read(frame.data(), frame.size()) != frame.size()) {
      throw MediaError("sample " + std::to_string(index) + " of the video track is cut short");
    }
    return true;
  }

 private:
  std::unique_ptr<InputFile> file_;
  MovieVideoTrack track_;
  std::unique_ptr<MovieSampleReader> samples_;
  std::size_t frameBytes_;
};

// Bytes read at the start of an input to tell what it is: an MXF file may begin with a run-in of
// up to 64 KiB before its header partition pack.
constexpr std::size_t kHeadBytes = 65536 + 16;

// Several sources side by side: those of the first one's sample size.
std::unique_ptr<audio::PcmSource> JoinSound(std::vector<std::unique_ptr<audio::PcmSource>> sources,
                                            std::vector<std::string>& warnings) {
  const int bits = sources.front()->Format().bitsPerSample;
  std::vector<std::unique_ptr<audio::PcmSource>> joined;
  for (auto& source : sources) {
    if (source->Format().bitsPerSample == bits) {
      joined.push_back(std::move(source));
    } else {
      warnings.push_back("a sound track of " + std::to_string(source->Format().bitsPerSample) +
                         "-bit samples is left out: the first one's are of " +
                         std::to_string(bits) + " bits");
    }
  }
  if (joined.size() == 1) return std::move(joined.front());
  return std::make_unique<audio::ChannelJoin>(std::move(joined));
}

OpenedInput::FrameSoundOpener MovieSoundOpener(MovieSource& movie, VideoSystem system) {
  return [&movie, system](std::vector<std::string>& warnings) -> std::unique_ptr<FrameSound> {
    std::vector<std::unique_ptr<audio::PcmSource>> sources;
    for (MovieSoundTrack& track : ReadMovieSoundTracks(movie.File(), warnings)) {
      sources.push_back(std::make_unique<MovieSound>(movie.File(), std::move(track)));
    }
    if (sources.empty()) return OpenSoundInFrames(system, warnings);
    return SoundBesideFrames(JoinSound(std::move(sources), warnings), FirstSamplesAtRateOf(system));
  };
}

OpenedInput OpenMovie(std::unique_ptr<InputFile> file, VideoSystem forcedSystem) {
  OpenedInput opened;
  MovieVideoTrack track = ReadMovieVideoTrack(*file);
  opened.warnings = track.warnings;
  const std::string trackName = "\"" + track.format + "\" track of " + std::to_string(track.width) +
                                "x" + std::to_string(track.height);
  if (track.sampleCount == 0)
    throw MediaError(file->Name() + ": the " + trackName + " has no frames");

  // The stream's own data, from the first frame, settle what the sample description says.
  MovieSample first;
  MovieSampleReader(*file, track).Next(first);
  CheckSampleInFile(first, 0, file->Size());
  std::vector<std::uint8_t> head(std::min<std::size_t>(kStreamFactsBytes, first.size));
  file->Seek(static_cast<std::int64_t>(first.offset));
  head.resize(file->Read(head.data(), head.size()));
  const StreamFacts facts = ReadStreamFacts(head.data(), head.size());
  const std::string otherKind = OtherDvKind(facts);

  // Frames of another kind of DV leave the sample description's word unheeded.
  const SettledSystem settled = SettleSystem(
      forcedSystem, facts, {{otherKind.empty() ? track.system : 0, "from " + track.systemSource}});
  opened.system = settled.system;
  opened.systemSource = settled.source;
  if (!otherKind.empty()) {
    if (forcedSystem == 0) {
      throw MediaError(file->Name() + ": the frames of its " + trackName + " are " + otherKind +
                           ", not DVCPRO HD",
                       MediaErrorCode::NotDvcproHd);
    }
    opened.warnings.push_back("the frames say they are " + otherKind +
                              ", not DVCPRO HD; decoding them as system " +
                              std::to_string(forcedSystem) + " all the same");
  }
  if (forcedSystem == 0 && facts.system != 0 && track.system != 0 && facts.system != track.system) {
    opened.warnings.push_back("the movie's " + trackName + " says " + DescribeSystem(track.system) +
                              " but its frames say " + DescribeSystem(facts.system) +
                              "; decoding as the frames say");
  }
  if (opened.system == 0) {
    throw MediaError(
        file->Name() + ": neither the " + trackName + " nor its frames tell the video system",
        MediaErrorCode::UnknownSystem);
  }
  opened.container = Container::Movie;
  opened.fieldOrder = facts.fieldOrder;
  const std::uint64_t count = track.sampleCount;
  opened.description = "QuickTime movie, " + trackName + ", " + std::to_string(count) +
                       (count == 1 ? " frame" : " frames");
  const std::size_t frameBytes = GeometryOf(opened.system).frameBytes;
  auto movie = std::make_unique<MovieSource>(std::move(file), std::move(track), frameBytes);
  opened.openSound = MovieSoundOpener(*movie, opened.system);
  opened.source = std::move(movie);
  return opened;
}

}  // namespace

namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// A file in the CONTENTS/VIDEO folder of a card, whatever the case of the names.
bool LiesInCardVideoFolder(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::absolute(path).parent_path();
  return Upper(folder.filename().string()) == "VIDEO" &&
         Upper(folder.parent_path().filename().string()) == "CONTENTS";
}

OpenedInput OpenCardClip(const mxf::P2Clip& clip, VideoSystem forcedSystem) {
  auto video = std::make_unique<InputFile>(clip.videoPath);
  OpenedInput opened = OpenInput(std::move(video), forcedSystem);
  opened.container = Container::P2Clip;
  opened.description = "P2 clip " + clip.name + ": " + opened.description;
  opened.warnings.insert(opened.warnings.begin(), clip.warnings.begin(), clip.warnings.end());
  for (const std::string& sound : clip.soundPaths)
    opened.otherFiles.push_back(IdentityOfPath(sound));
  const VideoSystem system = opened.system;
  opened.openSound = [clip,
                      system](std::vector<std::string>& warnings) -> std::unique_ptr<FrameSound> {
    std::unique_ptr<audio::PcmSource> sound = mxf::OpenP2Sound(clip, warnings);
    if (sound == nullptr) {
      if (!clip.soundPaths.empty()) return nullptr;
      return OpenSoundInFrames(system, warnings);
    }
    return SoundBesideFrames(std::move(sound), FirstSamplesAtRateOf(system));
  };
  return opened;
}

}  // namespace

bool IsCardFolder(const std::string& path) {
  std::error_code error;
  return path != "-" && std::filesystem::is_directory(path, error) && mxf::IsP2CardRoot(path);
}

OpenedInput OpenInput(const std::string& path, VideoSystem forcedSystem, const std::string& clip) {
  std::error_code error;
  if (path != "-" && std::filesystem::is_directory(path, error)) {
    if (!mxf::IsP2CardRoot(path)) {
      throw MediaError(path + " is a folder, but not a P2 card's (one holding CONTENTS/VIDEO)",
                       MediaErrorCode::NotDvcproHd);
    }
    std::string name = clip;
    if (name.empty()) {
      const std::vector<std::string> clips = mxf::P2ClipNames(path);
      if (clips.size() != 1) {
        throw MediaError(path + " holds " + std::to_string(clips.size()) + " clips",
                         MediaErrorCode::ClipNeeded);
      }
      name = clips.front();
    }
    return OpenCardClip(mxf::FindP2Clip(path, name), forcedSystem);
  }
  if (!clip.empty()) {
    throw MediaError("a clip (" + clip + ") is named, but " + path + " is not a P2 card's folder",
                     MediaErrorCode::UnknownClip);
  }
  auto file = std::make_unique<InputFile>(path);
  if (path != "-" && LiesInCardVideoFolder(path) && file->Size() >= 0) {
    // A clip's video file brings the clip's sound files with it.
    std::vector<std::uint8_t> head(kHeadBytes);
    head.resize(file->Read(head.data(), head.size()));
    if (mxf::LooksLikeMxf(head.data(), head.size())) {
      return OpenCardClip(mxf::FindP2ClipOfVideoFile(path), forcedSystem);
    }
    file->Seek(0);
  }
  return OpenInput(std::move(file), forcedSystem);
}

OpenedInput OpenInput(std::unique_ptr<InputFile> file, VideoSystem forcedSystem) {
  const std::string name = file->Name();
  const FileIdentity identity = file->Identity();
  std::vector<std::uint8_t> head(kHeadBytes);
  head.resize(file->Read(head.data(), head.size()));
  if (head.empty()) throw MediaError(name + " is empty");

  OpenedInput opened;
  if (LooksLikeMovie(head.data(), head.size())) {
    opened = OpenMovie(std::move(file), forcedSystem);
  } else if (mxf::LooksLikeMxf(head.data(), head.size())) {
    if (file->Size() < 0) {
      throw MediaError(name +
                           " is an MXF file, which can only be read from a file that can be "
                           "read out of order (not a pipe)",
                       MediaErrorCode::NotSeekable);
    }
    opened =
        OpenMxfInput(std::make_unique<mxf::MxfFile>(std::make_unique<ByteSource>(std::move(file))),
                     forcedSystem);
  } else {
    const StreamFacts facts = ReadStreamFacts(head.data(), head.size());
    const std::string otherKind = OtherDvKind(facts);
    if (!facts.difHeader) {
      if (forcedSystem == 0) {
        throw MediaError(name + " is neither a DIF stream nor a QuickTime movie",
                         MediaErrorCode::NotDvcproHd);
      }
      opened.warnings.push_back(name +
                                " does not begin with a DIF header block; decoding it as system " +
                                std::to_string(forcedSystem) + " all the same");
    } else if (!otherKind.empty()) {
      if (forcedSystem == 0)
        throw MediaError(name + " is " + otherKind + ", not DVCPRO HD",
                         MediaErrorCode::NotDvcproHd);
      opened.warnings.push_back(name + " says it is " + otherKind +
                                ", not DVCPRO HD; decoding it as system " +
                                std::to_string(forcedSystem) + " all the same");
    } else if (forcedSystem == 0 && facts.system == 0) {
      throw MediaError(name + ": the stream's header data do not name its video system",
                       MediaErrorCode::UnknownSystem);
    }
    const SettledSystem settled = SettleSystem(forcedSystem, facts);
    opened.system = settled.system;
    opened.systemSource = settled.source;
    opened.fieldOrder = facts.fieldOrder;
    opened.description = "raw DIF stream";
    const VideoSystem system = opened.system;
    opened.openSound = [system](std::vector<std::string>& warnings) {
      return OpenSoundInFrames(system, warnings);
    };
    const std::size_t frameBytes = GeometryOf(opened.system).frameBytes;
    opened.source = std::make_unique<RawDifSource>(std::move(file), std::move(head), frameBytes);
  }
  opened.name = name;
  opened.identity = identity;
  opened.systemForced = forcedSystem != 0;
  return opened;
}

}  // namespace halvaris::media
