#include "audio/dif_audio.h"

#include <algorithm>

namespace halvaris::media::audio {

namespace {

constexpr int kAudioSection = 3;  // section type in the top three bits of a block's first byte
constexpr std::uint8_t kSourcePack = 0x50;
constexpr int kAudioBlocksPerSequence = 9;
constexpr int kSoundChannelsPerDifChannel = 2;
constexpr int kDifChannels = 4;
constexpr std::size_t kDifBlockBytes = 80;
constexpr std::size_t kDifBlocksPerSequence = 150;
// A 16-bit sample of this value marks a sample lost or damaged on the way.
constexpr std::uint16_t kErrorSample = 0x8000;

// Sequences of one half of a DIF channel: 5 at 59.94 Hz, 6 at 50 Hz.
int SequencesPerHalf(VideoSystem system) {
  return system == 3 || system == 4 ? 6 : 5;
}

std::size_t AudioBlockOffset(int sequence, int block) {
  return (static_cast<std::size_t>(sequence) * kDifBlocksPerSequence + 6 +
          16 * static_cast<std::size_t>(block)) *
         kDifBlockBytes;
}

// Samples per channel in the frame that the source pack of a half gives, or 0 when the half has
// no source pack for 16-bit sound at 48 kHz. The pack: AF SIZE in the low six bits of its first
// byte, the 50/60 flag in its third, the sampling frequency SMP and quantisation QU in its fourth.
std::size_t SamplesOfHalf(const std::uint8_t* frame, std::size_t bytes, int firstSequence,
                          int sequences) {
  for (int sequence = firstSequence; sequence < firstSequence + sequences; ++sequence) {
    for (int block = 0; block < kAudioBlocksPerSequence; ++block) {
      const std::size_t offset = AudioBlockOffset(sequence, block);
      if (offset + kDifBlockBytes > bytes) return 0;
      const std::uint8_t* data = frame + offset;
      if ((data[0] >> 5) != kAudioSection || data[3] != kSourcePack) continue;
      const int frequency = (data[7] >> 3) & 7;
      const int quantisation = data[7] & 7;
      if (frequency != 0 || quantisation != 0) return 0;  // 48 kHz, 16 bits only
      const bool fiftyHz = (data[6] & 0x20) != 0;
      return static_cast<std::size_t>((fiftyHz ? 1896 : 1580) + (data[4] & 0x3f));
    }
  }
  return 0;
}

}  // namespace

bool DifAudio::Reads(VideoSystem system) {
  return system == 1 || system == 3;
}

int DifAudio::ChannelsOf(const std::uint8_t* frame, std::size_t bytes, VideoSystem system) {
  if (!Reads(system)) return 0;
  const int sequences = SequencesPerHalf(system);
  int channels = 0;
  for (int channel = 0; channel < kDifChannels * kSoundChannelsPerDifChannel; ++channel) {
    if (SamplesOfHalf(frame, bytes, channel * sequences, sequences) != 0) channels = channel + 1;
  }
  return channels;
}

DifAudio::FrameSound DifAudio::Decode(const std::uint8_t* frame, std::size_t bytes,
                                      VideoSystem system, int channels, std::size_t expectedSamples,
                                      std::vector<std::uint8_t>& out) {
  FrameSound sound;
  if (!Reads(system) || channels <= 0) return sound;
  const int sequences = SequencesPerHalf(system);
  // A half holds 9 blocks x 36 samples per sequence.
  const std::size_t capacity = static_cast<std::size_t>(sequences) * kAudioBlocksPerSequence * 36;

  std::vector<std::size_t> samplesOf(static_cast<std::size_t>(channels));
  for (int channel = 0; channel < channels; ++channel) {
    samplesOf[channel] = SamplesOfHalf(frame, bytes, channel * sequences, sequences);
    if (sound.samples == 0) sound.samples = samplesOf[channel];
  }
  if (sound.samples == 0) sound.samples = expectedSamples;
  sound.samples = std::min(sound.samples, capacity);

  out.assign(sound.samples * static_cast<std::size_t>(channels) * 2, 0);
  const int perRow = kAudioBlocksPerSequence * sequences;  // samples at one byte position
  for (int channel = 0; channel < channels; ++channel) {
    if (samplesOf[channel] == 0) {
      sound.silenced += sound.samples;  // the channel carries no sound in this frame
      continue;
    }
    const int firstSequence = channel * sequences;
    for (std::size_t n = 0; n < sound.samples; ++n) {
      // The shuffle spreads neighbouring samples over sequences and blocks, so that a lost block
      // costs isolated samples.
      const int i = static_cast<int>(n);
      const int sequence = firstSequence + (i / 3 + 2 * (i % 3)) % sequences;
      const int block = 3 * (i % 3) + (i % perRow) / (3 * sequences);
      const std::size_t offset = AudioBlockOffset(sequence, block) + 8 + 2 * (n / perRow);
      std::uint16_t sample = kErrorSample;
      if (offset + 2 <= bytes && n < samplesOf[channel])
        sample = static_cast<std::uint16_t>(frame[offset] << 8 | frame[offset + 1]);
      if (sample == kErrorSample) {
        ++sound.silenced;
        sample = 0;
      }
      std::uint8_t* target = &out[(n * static_cast<std::size_t>(channels) + channel) * 2];
      target[0] = static_cast<std::uint8_t>(sample);
      target[1] = static_cast<std::uint8_t>(sample >> 8);
    }
  }
  return sound;
}

}  // namespace halvaris::media::audio
