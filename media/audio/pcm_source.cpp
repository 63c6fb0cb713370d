#include "audio/pcm_source.h"

#include <algorithm>
#include <cstring>

#include "media_error.h"

namespace halvaris::media::audio {

ChannelJoin::ChannelJoin(std::vector<std::unique_ptr<PcmSource>> sources)
    : sources_(std::move(sources)) {
  if (sources_.empty()) throw MediaError("no sound to join");
  format_ = sources_.front()->Format();
  format_.channels = 0;
  sampleCount_ = sources_.front()->SampleCount();
  for (const auto& source : sources_) {
    const PcmFormat format = source->Format();
    if (format.bitsPerSample != format_.bitsPerSample || format.sampleRate != format_.sampleRate) {
      throw MediaError("the sound files differ in sample size or rate and cannot be joined");
    }
    format_.channels += format.channels;
    sampleCount_ = std::min(sampleCount_, source->SampleCount());
  }
}

std::uint64_t ChannelJoin::Read(std::uint64_t first, std::size_t count, std::uint8_t* out) {
  std::uint64_t silent = 0;
  const std::size_t sampleBytes = static_cast<std::size_t>(format_.BytesPerSample());
  const std::size_t frameBytes = static_cast<std::size_t>(format_.BytesPerFrame());
  std::size_t channel = 0;
  for (const auto& source : sources_) {
    const std::size_t width = static_cast<std::size_t>(source->Format().BytesPerFrame());
    scratch_.resize(count * width);
    silent = std::max(silent, source->Read(first, count, scratch_.data()));
    for (std::size_t sample = 0; sample < count; ++sample) {
      std::memcpy(out + sample * frameBytes + channel * sampleBytes, &scratch_[sample * width],
                  width);
    }
    channel += static_cast<std::size_t>(source->Format().channels);
  }
  return silent;
}

std::uint64_t FirstSampleOfFrame(std::int64_t frame, std::int64_t rateNumerator,
                                 std::int64_t rateDenominator, int sampleRate) {
  if (frame <= 0 || rateNumerator <= 0 || rateDenominator <= 0) return 0;
  // frame x sampleRate x denominator / numerator, rounded half up, in integers.
  const auto product = static_cast<unsigned long long>(frame) *
                       static_cast<unsigned long long>(sampleRate) *
                       static_cast<unsigned long long>(rateDenominator);
  const auto numerator = static_cast<unsigned long long>(rateNumerator);
  return (2 * product + numerator) / (2 * numerator);
}

}  // namespace halvaris::media::audio
