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
      : file_(std::move(file)), track_(std::move(track)), frameBytes_(frameBytes) {}

  std::int64_t FrameCount() const override {
    return static_cast<std::int64_t>(track_.samples.size());
  }

  void SkipTo(std::int64_t index) override {
    next_ = std::max(next_, static_cast<std::size_t>(index));
  }

  bool ReadFrame(std::vector<std::uint8_t>& frame) override {
    if (next_ >= track_.samples.size()) return false;
    CheckSampleInFile(track_, next_, file_->Size());
    const MovieSample& sample = track_.samples[next_];
    // A sample longer than a frame carries nothing the decoder reads past the frame's size.
    frame.resize(std::min<std::size_t>(sample.size, frameBytes_));
    file_->Seek(static_cast<std::int64_t>(sample.offset));
    if (file_->Read(frame.data(), frame.size()) != frame.size()) {
      throw ToolError("sample " + std::to_string(next_) + " of the video track is cut short");
    }
    ++next_;
    return true;
  }

 private:
  std::unique_ptr<InputFile> file_;
  MovieVideoTrack track_;
  std::size_t frameBytes_;
  std::size_t next_ = 0;
};

std::string SystemAsked() {
  return "give --system 1, 2, 3 or 4 (see --help)";
}

OpenedInput OpenMovie(std::unique_ptr<InputFile> file, VideoSystem forcedSystem) {
  OpenedInput opened;
  MovieVideoTrack track = ReadMovieVideoTrack(*file);
  const std::string trackName = "\"" + track.format + "\" track of " + std::to_string(track.width) +
                                "x" + std::to_string(track.height);
  if (track.samples.empty())
    throw ToolError(file->Name() + ": the " + trackName + " has no frames");

  // The stream's own data, from the first frame, settle what the sample description says.
  std::vector<std::uint8_t> head(kStreamFactsBytes);
  CheckSampleInFile(track, 0, file->Size());
  file->Seek(static_cast<std::int64_t>(track.samples[0].offset));
  head.resize(file->Read(head.data(), std::min<std::size_t>(head.size(), track.samples[0].size)));
  const StreamFacts facts = ReadStreamFacts(head.data(), head.size());

  opened.system = forcedSystem != 0   ? forcedSystem
                  : facts.system != 0 ? facts.system
                                      : track.system;
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
  const std::size_t count = track.samples.size();
  opened.found = "QuickTime movie, " + trackName + ", " + std::to_string(count) +
                 (count == 1 ? " frame" : " frames");
  const std::size_t frameBytes = GeometryOf(opened.system).frameBytes;
  opened.source = std::make_unique<MovieSource>(std::move(file), std::move(track), frameBytes);
  return opened;
}

}  // namespace

OpenedInput OpenInput(const std::string& path, VideoSystem forcedSystem) {
  auto file = std::make_unique<InputFile>(path);
  std::vector<std::uint8_t> head(kStreamFactsBytes);
  head.resize(file->Read(head.data(), head.size()));
  if (head.empty()) throw ToolError(file->Name() + " is empty");

  if (LooksLikeMovie(head.data(), head.size())) {
    if (file->IsStandardInput()) {
      throw ToolError("QuickTime movies are read from files, not from standard input");
    }
    return OpenMovie(std::move(file), forcedSystem);
  }

  OpenedInput opened;
  const StreamFacts facts = ReadStreamFacts(head.data(), head.size());
  if (!facts.difHeader) {
    if (forcedSystem == 0) {
      throw ToolError(file->Name() + " is neither a DIF stream nor a QuickTime movie");
    }
    opened.warnings.push_back(file->Name() +
                              " does not begin with a DIF header block; decoding it as system " +
                              std::to_string(forcedSystem) + " all the same");
  } else if (forcedSystem == 0 && facts.system == 0) {
    throw ToolError(file->Name() + ": the stream's header data do not name a DVCPRO HD system; " +
                    SystemAsked());
  }
  opened.system = forcedSystem != 0 ? forcedSystem : facts.system;
  opened.fieldOrder = facts.fieldOrder;
  opened.found = "raw DIF stream";
  const std::size_t frameBytes = GeometryOf(opened.system).frameBytes;
  opened.source = std::make_unique<RawDifSource>(std::move(file), std::move(head), frameBytes);
  return opened;
}

}  // namespace halvaris::decode_tool
