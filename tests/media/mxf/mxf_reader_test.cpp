// The MXF reader against files FFmpeg makes: the frames it finds are those of the same stream as
// raw DIF, and the sound it reads is what FFmpeg decodes from the same file.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ffmpeg_files.h"
#include "media_error.h"
#include "mxf/mxf_frame_source.h"
#include "mxf/sound_track.h"

namespace halvaris::media {
namespace {

using test_support::FfmpegFiles;
using test_support::ReadBytes;
using ::testing::HasSubstr;

std::vector<std::vector<std::uint8_t>> FramesOfDif(const std::string& path, int system) {
  const std::vector<std::uint8_t> bytes = ReadBytes(path);
  const std::size_t frameBytes = GeometryOf(system).frameBytes;
  std::vector<std::vector<std::uint8_t>> frames;
  for (std::size_t offset = 0; offset + frameBytes <= bytes.size(); offset += frameBytes) {
    frames.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                        bytes.begin() + static_cast<std::ptrdiff_t>(offset + frameBytes));
  }
  return frames;
}

std::vector<std::vector<std::uint8_t>> FramesOf(FrameReader& source) {
  std::vector<std::vector<std::uint8_t>> frames;
  std::vector<std::uint8_t> frame;
  while (source.ReadFrame(frame)) frames.push_back(frame);
  return frames;
}

std::vector<std::uint8_t> AllSound(audio::PcmSource& source) {
  std::vector<std::uint8_t> samples(source.SampleCount() *
                                    static_cast<std::size_t>(source.Format().BytesPerFrame()));
  EXPECT_EQ(source.Read(0, source.SampleCount(), samples.data()), 0u);
  return samples;
}

std::unique_ptr<mxf::MxfFile> OpenFile(const std::string& path) {
  return std::make_unique<mxf::MxfFile>(OpenByteSource(path));
}

class MxfOfEverySystem : public ::testing::TestWithParam<int> {};

TEST_P(MxfOfEverySystem, Op1aFramesEqualTheRawDifFramesAndAreFoundThroughTheIndex) {
  const int system = GetParam();
  FfmpegFiles& files = FfmpegFiles::Get();
  const auto expected = FramesOfDif(files.VideoDif(system), system);
  ASSERT_EQ(expected.size(), 6u);

  OpenedInput opened = OpenMxfInput(files.Op1a(system), 0);
  EXPECT_EQ(opened.system, system);
  EXPECT_THAT(opened.warnings, ::testing::IsEmpty());
  EXPECT_THAT(opened.description, HasSubstr("OP1a"));
  EXPECT_THAT(opened.description, HasSubstr("index table"));
  EXPECT_EQ(opened.source->FrameCount(), 6);
  EXPECT_EQ(FramesOf(*opened.source), expected);

  // --frames 4-5: the frames from 4 on, without reading those before.
  OpenedInput seeking = OpenMxfInput(files.Op1a(system), 0);
  seeking.source->SkipTo(4);
  const auto tail = FramesOf(*seeking.source);
  ASSERT_EQ(tail.size(), 2u);
  EXPECT_EQ(tail[0], expected[4]);
  EXPECT_EQ(tail[1], expected[5]);
}

TEST_P(MxfOfEverySystem, OpAtomClipWrappedFramesEqualTheRawDifFrames) {
  const int system = GetParam();
  FfmpegFiles& files = FfmpegFiles::Get();
  OpenedInput opened = OpenMxfInput(files.OpAtomVideo(system), 0);
  EXPECT_EQ(opened.system, system);
  EXPECT_THAT(opened.warnings, ::testing::IsEmpty());
  EXPECT_THAT(opened.description, HasSubstr("OP-Atom"));
  EXPECT_THAT(opened.description, HasSubstr("clip-wrapped"));
  opened.source->SkipTo(1);
  auto expected = FramesOfDif(files.VideoDif(system), system);
  expected.erase(expected.begin());
  EXPECT_EQ(FramesOf(*opened.source), expected);
}

TEST_P(MxfOfEverySystem, Op1aSoundEqualsFfmpegsOwnExtraction) {
  const int system = GetParam();
  FfmpegFiles& files = FfmpegFiles::Get();
  const std::string path = files.Op1a(system, 2);
  auto file = OpenFile(path);
  const auto tracks = mxf::SoundTracksOf(*file);
  ASSERT_EQ(tracks.size(), 1u);
  mxf::SoundTrack sound(*file, *tracks[0]);
  EXPECT_EQ(sound.Format().channels, 2);
  EXPECT_EQ(sound.Format().bitsPerSample, 16);
  EXPECT_TRUE(sound.FrameWrapped());
  const auto expected = files.FfmpegSound(path, "0:a");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(AllSound(sound), expected);
}

INSTANTIATE_TEST_SUITE_P(Systems, MxfOfEverySystem, ::testing::Values(1, 2, 3, 4));

TEST(MxfSound, EightChannelsOf24BitsInOp1aInTheirOrder) {
  FfmpegFiles& files = FfmpegFiles::Get();
  const std::string path = files.Op1a(3, 8, "pcm_s24le");
  auto file = OpenFile(path);
  mxf::SoundTrack sound(*file, *mxf::SoundTracksOf(*file).at(0));
  EXPECT_EQ(sound.Format().channels, 8);
  EXPECT_EQ(sound.Format().bitsPerSample, 24);
  EXPECT_EQ(AllSound(sound), files.FfmpegSound(path, "0:a", "pcm_s24le"));
}

TEST(MxfSound, SamplesOfAFrameRangeFollowTheEditUnits) {
  FfmpegFiles& files = FfmpegFiles::Get();
  auto file = OpenFile(files.Op1a(1));
  mxf::SoundTrack sound(*file, *mxf::SoundTracksOf(*file).at(0));
  // FFmpeg lays 29.97 Hz sound in frames of 1602, 1601, 1602, 1601 and 1602 samples.
  const mxf::Rational rate{30000, 1001};
  EXPECT_EQ(sound.FirstSampleOfEditUnit(1, rate), 1602u);
  EXPECT_EQ(sound.FirstSampleOfEditUnit(2, rate), 3203u);
  EXPECT_EQ(sound.FirstSampleOfEditUnit(5, rate), 8008u);
  for (std::int64_t frame = 0; frame <= 5; ++frame) {
    EXPECT_EQ(audio::FirstSampleOfFrame(frame, 30000, 1001, 48000),
              sound.FirstSampleOfEditUnit(frame, rate));
  }
  // Past the end: silence, counted.
  std::vector<std::uint8_t> samples(100 * 4, 0xff);
  EXPECT_EQ(sound.Read(sound.SampleCount() - 40, 100, samples.data()), 60u);
  EXPECT_EQ(samples.back(), 0);
}

TEST(MxfSound, OpAtomSoundFilesOfSixteenAndTwentyFourBits) {
  FfmpegFiles& files = FfmpegFiles::Get();
  for (const char* codec : {"pcm_s16le", "pcm_s24le"}) {
    const std::string path = files.OpAtomSound(2, 1000, codec);
    auto file = OpenFile(path);
    const auto tracks = mxf::SoundTracksOf(*file);
    ASSERT_EQ(tracks.size(), 1u) << codec;
    mxf::SoundTrack sound(*file, *tracks[0]);
    EXPECT_EQ(sound.Format().channels, 1);
    EXPECT_EQ(AllSound(sound), files.FfmpegSound(path, "0:a", codec)) << codec;
  }
}

TEST(MxfInput, FramesBeyondFourGigabytesAreFoundThroughSixtyFourBitOffsets) {
  // The OP-Atom file with 4.5 GB of fill (a hole in a sparse file) before its essence.
  FfmpegFiles& files = FfmpegFiles::Get();
  const auto atom = ReadBytes(files.OpAtomVideo(2));
  const auto expected = FramesOfDif(files.VideoDif(2), 2);
  const std::uint8_t dvKey[12] = {0x06, 0x0e, 0x2b, 0x34, 0x01, 0x02,
                                  0x01, 0x01, 0x0d, 0x01, 0x03, 0x01};
  const auto element = std::search(atom.begin(), atom.end(), dvKey, dvKey + 12);
  ASSERT_NE(element, atom.end());
  const std::uint64_t fillBytes = 4500000000u;
  std::vector<std::uint8_t> fill = {0x06, 0x0e, 0x2b, 0x34, 0x01, 0x01, 0x01, 0x02, 0x03,
                                    0x01, 0x02, 0x10, 0x01, 0x00, 0x00, 0x00, 0x88};
  for (int shift = 56; shift >= 0; shift -= 8)
    fill.push_back(static_cast<std::uint8_t>(fillBytes >> shift));
  const std::string path = files.Path("large.mxf");
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(atom.data()), element - atom.begin());
    out.write(reinterpret_cast<const char*>(fill.data()),
              static_cast<std::streamsize>(fill.size()));
    out.seekp(static_cast<std::streamoff>(fillBytes), std::ios::cur);
    out.write(reinterpret_cast<const char*>(&*element), atom.end() - element);
    ASSERT_TRUE(out.good());
  }
  OpenedInput opened = OpenMxfInput(path, 0);
  ASSERT_EQ(opened.source->FrameCount(), 6);
  opened.source->SkipTo(5);
  std::vector<std::uint8_t> frame;
  ASSERT_TRUE(opened.source->ReadFrame(frame));
  EXPECT_EQ(frame, expected[5]);
  std::filesystem::remove(path);
}

TEST(MxfInput, AFileWithoutVideoOrNotMxfAtAllIsRefusedInOneLine) {
  FfmpegFiles& files = FfmpegFiles::Get();
  try {
    OpenMxfInput(files.OpAtomSound(1, 440), 0);
    FAIL() << "a sound-only file opened as video";
  } catch (const MediaError& error) {
    EXPECT_THAT(error.what(), HasSubstr("holds no DV-DIF video"));
  }
  try {
    OpenMxfInput(files.VideoDif(1), 0);
    FAIL() << "raw DIF opened as MXF";
  } catch (const MediaError& error) {
    EXPECT_THAT(error.what(), HasSubstr("is not an MXF file"));
  }
}

}  // namespace
}  // namespace halvaris::media
