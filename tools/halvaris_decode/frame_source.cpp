#include "frame_source.h"

#include <algorithm>
#include <cstring>

#include "input_file.h"
#include "mov_reader.h"
#include "tool_error.h"

namespace halvaris::decode_tool {

namespace {

// Frames of one fixed size back to back, from a file or a pipe. The bytes read to recognise the
// input are handed out again before reading on.
class RawDifSource : public FrameSource {
 public:
  RawDifSource(std::unique_ptr<InputFile> file, std::vector<std::uint8_t> head,
               std::size_t frameBytes)
      : file_(std::move(file)), head_(std::move(head)), frameBytes_(frameBytes) {}

  std::int64_t FrameCount() const override {
    if (file_->Size() < 0) return -1;
    const std::int64_t bytes = static_cast<std::int64_t>(frameBytes_);
    return (file_->Size() + bytes - 1) / bytes;
  }

  void SkipTo(std::int64_t index) override {
    if (index <= next_) return;
    if (file_->Size() >= 0) {
      head_.clear();
      file_->Seek(index * static_cast<std::int64_t>(frameBytes_));
      next_ = index;
      return;
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

class MovieSource : public FrameSource {
 public:
  MovieSource(std::unique_ptr<InputFile> file, MovieVideoTrack track, std::size_t frameBytes)
      : file_(std::move(file)),
        track_(std::move(track)),
        samples_(*file_, track_),
        frameBytes_(frameBytes) {}

  std::int64_t FrameCount() const override { return static_cast<std::int64_t>(track_.sampleCount); }

  void SkipTo(std::int64_t index) override {
    MovieSample sample;
    while (samples_.NextIndex() < static_cast<std::uint64_t>(index) && samples_.Next(sample)) {
    }
  }

  bool ReadFrame(std::vector<std::uint8_t>& frame) override {
    const std::uint64_t index = samples_.NextIndex();
    MovieSample sample;
    if (!samples_.Next(sample)) return false;
    CheckSampleInFile(sample, index, file_->Size());
    // A sample longer than a frame carries nothing the decoder reads past the frame's size.
    frame.resize(std::min<std::size_t>(sample.size, frameBytes_));
    file_->Seek(static_cast<std::int64_t>(sample.offset));
    if (file_->Read(frame.data(), frame.size()) != frame.size()) {
      throw ToolError("sample " + std::to_string(index) + " of the video track is cut short");
    }
    return true;
  }

 private:
  std::unique_ptr<InputFile> file_;
  MovieVideoTrack track_;
  MovieSampleReader samples_;
  std::size_t frameBytes_;
};

std::string SystemAsked() {
  return "give --system 1, 2, 3 or 4 (see --help)";
}

OpenedInput OpenMovie(std::unique_ptr<InputFile> file, VideoSystem forcedSystem) {
  OpenedInput opened;
  MovieVideoTrack track = ReadMovieVideoTrack(*file);
  opened.warnings = track.warnings;
  const std::string trackName = "\"" + track.format + "\" track of " + std::to_string(track.width) +
                                "x" + std::to_string(track.height);
  if (track.sampleCount == 0)
    throw ToolError(file->Name() + ": the " + trackName + " has no frames");

  // The stream's own data, from the first frame, settle what the sample description says.
  MovieSample first;
  MovieSampleReader(*file, track).Next(first);
  CheckSampleInFile(first, 0, file->Size());
  std::vector<std::uint8_t> head(std::min<std::size_t>(kStreamFactsBytes, first.size));
  file->Seek(static_cast<std::int64_t>(first.offset));
  head.resize(file->Read(head.data(), head.size()));
  const StreamFacts facts = ReadStreamFacts(head.data(), head.size());
  const std::string otherKind = OtherDvKind(facts);

  if (forcedSystem != 0) {
    opened.system = forcedSystem;
    opened.systemSource = "as --system says";
  } else if (facts.system != 0) {
    opened.system = facts.system;
    opened.systemSource = "from the stream's own data";
  } else if (otherKind.empty()) {
    opened.system = track.system;
    opened.systemSource = "from " + track.systemSource;
  }
  if (!otherKind.empty()) {
    if (forcedSystem == 0) {
      throw ToolError(file->Name() + ": the frames of its " + trackName + " are " + otherKind +
                      ", not DVCPRO HD");
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
    throw ToolError(file->Name() + ": neither the " + trackName +
                    " nor its frames tell the video system; " + SystemAsked());
  }
  opened.fieldOrder = facts.fieldOrder;
  const std::uint64_t count = track.sampleCount;
  opened.found = "QuickTime movie, " + trackName + ", " + std::to_string(count) +
                 (count == 1 ? " frame" : " frames");
  const std::size_t frameBytes = GeometryOf(opened.system).frameBytes;
  opened.source = std::make_unique<MovieSource>(std::move(file), std::move(track), frameBytes);
  return opened;
}

}  // namespace

OpenedInput OpenInput(const std::string& path, VideoSystem forcedSystem) {
  return OpenInput(std::make_unique<InputFile>(path), forcedSystem);
}

OpenedInput OpenInput(std::unique_ptr<InputFile> file, VideoSystem forcedSystem) {
  const std::string name = file->Name();
  const FileIdentity identity = file->Identity();
  std::vector<std::uint8_t> head(kStreamFactsBytes);
  head.resize(file->Read(head.data(), head.size()));
  if (head.empty()) throw ToolError(name + " is empty");

  OpenedInput opened;
  if (LooksLikeMovie(head.data(), head.size())) {
    opened = OpenMovie(std::move(file), forcedSystem);
  } else {
    const StreamFacts facts = ReadStreamFacts(head.data(), head.size());
    const std::string otherKind = OtherDvKind(facts);
    if (!facts.difHeader) {
      if (forcedSystem == 0) {
        throw ToolError(name + " is neither a DIF stream nor a QuickTime movie");
      }
      opened.warnings.push_back(name +
                                " does not begin with a DIF header block; decoding it as system " +
                                std::to_string(forcedSystem) + " all the same");
    } else if (!otherKind.empty()) {
      if (forcedSystem == 0) throw ToolError(name + " is " + otherKind + ", not DVCPRO HD");
      opened.warnings.push_back(name + " says it is " + otherKind +
                                ", not DVCPRO HD; decoding it as system " +
                                std::to_string(forcedSystem) + " all the same");
    } else if (forcedSystem == 0 && facts.system == 0) {
      throw ToolError(name + ": the stream's header data do not name its video system; " +
                      SystemAsked());
    }
    opened.system = forcedSystem != 0 ? forcedSystem : facts.system;
    opened.systemSource = forcedSystem != 0 ? "as --system says" : "from the stream's own data";
    opened.fieldOrder = facts.fieldOrder;
    opened.found = "raw DIF stream";
    const std::size_t frameBytes = GeometryOf(opened.system).frameBytes;
    opened.source = std::make_unique<RawDifSource>(std::move(file), std::move(head), frameBytes);
  }
  opened.name = name;
  opened.identity = identity;
  return opened;
}

}  // namespace halvaris::decode_tool
