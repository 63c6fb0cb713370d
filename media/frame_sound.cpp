#include "frame_sound.h"

#include "audio/dif_audio.h"

namespace halvaris::media {

namespace {

class DifFrameSound : public FrameSound {
 public:
  explicit DifFrameSound(VideoSystem system)
      : system_(system), firstSampleOf_(FirstSamplesAtRateOf(system)) {}

  audio::PcmFormat FormatOf(const std::uint8_t* frame, std::size_t bytes) override {
    channels_ = audio::DifAudio::ChannelsOf(frame, bytes, system_);
    return audio::PcmFormat{channels_, 16, 48000};
  }

  std::uint64_t AppendSamples(std::int64_t frameNumber, const std::uint8_t* frame,
                              std::size_t bytes, std::vector<std::uint8_t>& out) override {
    // Each frame's own source packs say how many samples it holds; the rate's share is for a
    // frame whose packs are lost.
    const auto expected =
        static_cast<std::size_t>(firstSampleOf_(frameNumber + 1) - firstSampleOf_(frameNumber));
    const audio::DifAudio::FrameSound got =
        audio::DifAudio::Decode(frame, bytes, system_, channels_, expected, scratch_);
    out.insert(out.end(), scratch_.begin(), scratch_.end());
    return got.silenced;
  }

 private:
  VideoSystem system_;
  std::function<std::uint64_t(std::int64_t)> firstSampleOf_;
  int channels_ = 0;
  std::vector<std::uint8_t> scratch_;
};

class PcmFrameSound : public FrameSound {
 public:
  PcmFrameSound(std::unique_ptr<audio::PcmSource> source,
                std::function<std::uint64_t(std::int64_t)> firstSampleOf)
      : source_(std::move(source)), firstSampleOf_(std::move(firstSampleOf)) {}

  audio::PcmFormat FormatOf(const std::uint8_t*, std::size_t) override { return source_->Format(); }
  bool ReadsFrames() const override { return false; }

  std::uint64_t AppendSamples(std::int64_t frameNumber, const std::uint8_t*, std::size_t,
                              std::vector<std::uint8_t>& out) override {
    const std::uint64_t first = firstSampleOf_(frameNumber);
    const std::uint64_t end = firstSampleOf_(frameNumber + 1);
    if (end <= first) return 0;
    const auto count = static_cast<std::size_t>(end - first);
    const std::size_t at = out.size();
    out.resize(at + count * static_cast<std::size_t>(source_->Format().BytesPerFrame()));
    // Counted per channel, as the frames' own sound counts them.
    return source_->Read(first, count, out.data() + at) *
           static_cast<std::uint64_t>(source_->Format().channels);
  }

 private:
  std::unique_ptr<audio::PcmSource> source_;
  std::function<std::uint64_t(std::int64_t)> firstSampleOf_;
};

}  // namespace

std::unique_ptr<FrameSound> OpenSoundInFrames(VideoSystem system,
                                              std::vector<std::string>& warnings) {
  // The audio blocks of the 720-line systems are laid out otherwise, and no file at hand could
  // show how: better no WAV than a wrong one.
  if (!audio::DifAudio::Reads(system)) {
    warnings.push_back("the sound in the audio blocks of " + DescribeSystem(system) +
                       " frames is not read yet, so no WAV file is written");
    return nullptr;
  }
  return std::make_unique<DifFrameSound>(system);
}

std::unique_ptr<FrameSound> SoundBesideFrames(
    std::unique_ptr<audio::PcmSource> source,
    std::function<std::uint64_t(std::int64_t)> firstSampleOf) {
  return std::make_unique<PcmFrameSound>(std::move(source), std::move(firstSampleOf));
}

std::function<std::uint64_t(std::int64_t)> FirstSamplesAtRateOf(VideoSystem system) {
  const HalvarisSystemInfo& geometry = GeometryOf(system);
  const std::int64_t numerator = geometry.frameRateNumerator;
  const std::int64_t denominator = geometry.frameRateDenominator;
  return [=](std::int64_t frame) {
    return audio::FirstSampleOfFrame(frame, numerator, denominator, 48000);
  };
}

}  // namespace halvaris::media
