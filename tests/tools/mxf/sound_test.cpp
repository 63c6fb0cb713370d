// The sound of DIF frames, and the WAV files halvaris-decode writes, against FFmpeg.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "audio/dif_audio.h"
#include "audio/wav_writer.h"
#include "ffmpeg_files.h"
#include "media_names.h"
#include "output_file.h"
#include "tool_error.h"

namespace halvaris::decode_tool {
namespace {

using media::audio::DifAudio;
using test_support::FfmpegFiles;
using test_support::ReadBytes;

struct DecodedSound {
  int channels = 0;
  std::vector<std::uint8_t> samples;
  std::uint64_t silenced = 0;
};

DecodedSound DecodeDifSound(const std::vector<std::uint8_t>& stream, int system,
                            int channels = -1) {
  const std::size_t frameBytes = GeometryOf(system).frameBytes;
  DecodedSound sound;
  sound.channels = channels >= 0 ? channels
                                 : DifAudio::ChannelsOf(
                                       stream.data(), std::min(stream.size(), frameBytes), system);
  std::vector<std::uint8_t> frameSound;
  for (std::size_t offset = 0; offset < stream.size(); offset += frameBytes) {
    const std::size_t bytes = std::min(frameBytes, stream.size() - offset);
    const auto got =
        DifAudio::Decode(stream.data() + offset, bytes, system, sound.channels, 1602, frameSound);
    sound.samples.insert(sound.samples.end(), frameSound.begin(), frameSound.end());
    sound.silenced += got.silenced;
  }
  return sound;
}

TEST(DifAudio, SoundOfFfmpegStreamsEqualsFfmpegsExtraction) {
  FfmpegFiles& files = FfmpegFiles::Get();
  // FFmpeg writes the sound of the 1080-line systems only.
  for (int system : {1, 3}) {
    const std::string path = files.SoundDif(system);
    const DecodedSound sound = DecodeDifSound(ReadBytes(path), system);
    EXPECT_EQ(sound.channels, 2) << system;
    EXPECT_EQ(sound.silenced, 0u) << system;
    const auto expected = files.FfmpegSound(path, "0:a:0");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(sound.samples, expected) << "system " << system;
  }
}

TEST(DifAudio, ErrorSamplesAndLostBlocksBecomeCountedSilence) {
  FfmpegFiles& files = FfmpegFiles::Get();
  auto stream = ReadBytes(files.SoundDif(1));
  stream.resize(GeometryOf(1).frameBytes);
  const DecodedSound clean = DecodeDifSound(stream, 1);
  ASSERT_EQ(clean.silenced, 0u);

  // Sample 0 of the first channel: sequence 0, audio block 0, bytes 8 and 9.
  const std::size_t firstAudioBlock = 6 * 80;
  stream[firstAudioBlock + 8] = 0x80;
  stream[firstAudioBlock + 9] = 0x00;
  const DecodedSound marked = DecodeDifSound(stream, 1);
  EXPECT_EQ(marked.silenced, 1u);
  EXPECT_EQ(marked.samples[0], 0);
  EXPECT_EQ(marked.samples[1], 0);
  EXPECT_TRUE(
      std::equal(marked.samples.begin() + 4, marked.samples.end(), clean.samples.begin() + 4));

  // A frame cut short in the second half of DIF channel 0 (sequences 5..9) loses the samples of
  // the second sound channel that lay in its missing sequences, and only those.
  const auto original = ReadBytes(files.SoundDif(1));
  std::vector<std::uint8_t> cut(original.begin(), original.begin() + 8 * 12000);
  const DecodedSound shortFrame = DecodeDifSound(cut, 1, 2);
  ASSERT_EQ(shortFrame.samples.size(), clean.samples.size());
  std::uint64_t lost = 0;
  for (std::size_t i = 0; i < clean.samples.size(); i += 2) {
    const bool secondChannel = (i / 2) % 2 == 1;
    const bool same = shortFrame.samples[i] == clean.samples[i] &&
                      shortFrame.samples[i + 1] == clean.samples[i + 1];
    if (!secondChannel) {
      EXPECT_TRUE(same) << "sample byte " << i;
    }
    if (!same) ++lost;
  }
  EXPECT_GT(lost, 0u);
  EXPECT_EQ(shortFrame.silenced, 640u);  // 2 of the 5 sequences of 1600 samples
}

TEST(DifAudio, FramesWithoutSoundGiveNoChannels) {
  FfmpegFiles& files = FfmpegFiles::Get();
  const auto stream = ReadBytes(files.VideoDif(1));
  EXPECT_EQ(DifAudio::ChannelsOf(stream.data(), stream.size(), 1), 0);
  EXPECT_FALSE(DifAudio::Reads(2));
}

// Samples of a quick ramp, different in every channel.
std::vector<std::uint8_t> Ramp(const audio::PcmFormat& format, std::size_t samples) {
  std::vector<std::uint8_t> bytes(samples * static_cast<std::size_t>(format.BytesPerFrame()));
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 3);
  return bytes;
}

TEST(WavWriter, FfmpegReadsBackEverySampleInPlainAndRf64Files) {
  FfmpegFiles& files = FfmpegFiles::Get();
  struct Case {
    int channels;
    int bits;
    std::uint64_t riffLimit;
  };
  for (const Case& c :
       {Case{2, 16, 0xffffffffu}, Case{8, 24, 0xffffffffu}, Case{1, 24, 1000}, Case{8, 16, 1000}}) {
    const audio::PcmFormat format{c.channels, c.bits, 48000};
    const auto samples = Ramp(format, 4801);  // odd: a 24-bit mono data chunk needs a pad byte
    const std::string path = files.Path("written.wav");
    {
      OutputFile file(path);
      audio::WavWriter writer(file, format, c.riffLimit);
      writer.Write(samples.data(), 1000);
      writer.Write(samples.data() + 1000 * format.BytesPerFrame(), 3801);
      writer.Finish();
      file.Commit();
      EXPECT_EQ(writer.IsRf64(), c.riffLimit < 0xffffffffu);
    }
    const auto bytes = ReadBytes(path);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4),
              c.riffLimit < 0xffffffffu ? "RF64" : "RIFF");
    const std::string codec = c.bits == 24 ? "pcm_s24le" : "pcm_s16le";
    EXPECT_EQ(files.FfmpegSound(path, "0:a", codec), samples)
        << c.channels << " channels of " << c.bits << " bits";
  }
}

TEST(WavWriter, RefusesWhatWavCannotHoldAndReportsAFolderItCannotWriteTo) {
  OutputFile file(FfmpegFiles::Get().Path("unused.wav"));
  EXPECT_THROW(audio::WavWriter(file, audio::PcmFormat{2, 12, 48000}), ToolError);
  EXPECT_THROW(OutputFile("/nonexistent-folder/out.wav"), ToolError);
}

}  // namespace
}  // namespace halvaris::decode_tool
