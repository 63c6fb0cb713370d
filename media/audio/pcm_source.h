#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace halvaris::media::audio {

// Sound as halvaris-decode writes it: interleaved little-endian samples of 16 or 24 bits, the
// channels in the order the source gives them.
struct PcmFormat {
  int channels = 0;
  int bitsPerSample = 0;
  int sampleRate = 48000;

  int BytesPerSample() const { return bitsPerSample / 8; }
  int BytesPerFrame() const { return channels * BytesPerSample(); }
};

// A sound track read at any sample position.
class PcmSource {
 public:
  virtual ~PcmSource() = default;

  virtual PcmFormat Format() const = 0;

  // Samples per channel.
  virtual std::uint64_t SampleCount() const = 0;

  // Writes samples [first, first + count) of every channel to `out` (count x BytesPerFrame()
  // bytes). Samples past the end or that cannot be read are written as silence; returns how many
  // of the samples were. Throws MediaError only on a read error of the file.
  virtual std::uint64_t Read(std::uint64_t first, std::size_t count, std::uint8_t* out) = 0;
};

// Sources of one sample size and rate side by side: the channels of the first source, then those
// of the second, and so on (the mono files of a camera card's clip). The shortest sets the length;
// no source is read past its own end.
class ChannelJoin : public PcmSource {
 public:
  // Throws MediaError when `sources` is empty or their sample sizes or rates differ.
  explicit ChannelJoin(std::vector<std::unique_ptr<PcmSource>> sources);

  PcmFormat Format() const override { return format_; }
  std::uint64_t SampleCount() const override { return sampleCount_; }
  std::uint64_t Read(std::uint64_t first, std::size_t count, std::uint8_t* out) override;

 private:
  std::vector<std::unique_ptr<PcmSource>> sources_;
  PcmFormat format_;
  std::uint64_t sampleCount_ = 0;
  std::vector<std::uint8_t> scratch_;
};

// The first sound sample that belongs to video frame `frame`, for video at rateNumerator /
// rateDenominator frames a second: frame x samples per frame, rounded to the nearest sample. At
// 30000/1001 this gives frames of 1602, 1601, 1602, 1601 and 1602 samples, as recorders lay them.
std::uint64_t FirstSampleOfFrame(std::int64_t frame, std::int64_t rateNumerator,
                                 std::int64_t rateDenominator, int sampleRate);

}  // namespace halvaris::media::audio
