#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "mov_reader.h"
#include "movie_builder.h"
#include "test_files.h"
#include "tool_error.h"

namespace halvaris::decode_tool {
namespace {

using testing::BuildMovie;
using ::testing::HasSubstr;
using testing::ScratchFolder;
using testing::TestTrack;
using testing::WriteBytes;

std::vector<std::uint8_t> Filled(std::size_t bytes, std::uint8_t value) {
  return std::vector<std::uint8_t>(bytes, value);
}

MovieVideoTrack ReadTrackOf(const ScratchFolder& scratch, const std::vector<TestTrack>& tracks) {
  WriteBytes(scratch / "clip.mov", BuildMovie(tracks));
  InputFile file(scratch / "clip.mov");
  return ReadMovieVideoTrack(file);
}

std::string ErrorOf(const ScratchFolder& scratch, const std::vector<std::uint8_t>& movie) {
  WriteBytes(scratch / "clip.mov", movie);
  try {
    InputFile file(scratch / "clip.mov");
    ReadMovieVideoTrack(file);
  } catch (const ToolError& error) {
    return error.what();
  }
  return "";
}

TEST(ReadMovieVideoTrack, FollowsChunkRunsAndSkipsAudio) {
  ScratchFolder scratch;
  TestTrack audio;
  audio.handler = "soun";
  audio.format = "sowt";
  audio.samples = {Filled(100, 0xaa), Filled(100, 0xab)};
  TestTrack video;
  for (std::uint8_t i = 0; i < 5; ++i) video.samples.push_back(Filled(1000u + i, i));
  video.samplesPerChunk = {2, 2, 1};  // two runs in the chunk map

  const MovieVideoTrack track = ReadTrackOf(scratch, {audio, video});
  EXPECT_EQ(track.format, "dvhp");
  EXPECT_EQ(track.width, 960);
  EXPECT_EQ(track.height, 720);
  EXPECT_EQ(track.system, 2);
  const auto file = testing::ReadBytes(scratch / "clip.mov");
  ASSERT_EQ(track.samples.size(), 5u);
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(track.samples[i].size, 1000u + i);
    ASSERT_LE(track.samples[i].offset + track.samples[i].size, file.size());
    EXPECT_EQ(file[track.samples[i].offset], i);
    EXPECT_EQ(file[track.samples[i].offset + track.samples[i].size - 1], i);
  }
}

TEST(ReadMovieVideoTrack, Reads64BitOffsetsAndOneSizeForAll) {
  ScratchFolder scratch;
  TestTrack video;
  video.format = "dvh5";
  video.width = 1440;
  video.height = 1080;
  video.samples = {Filled(64, 1), Filled(64, 2), Filled(64, 3)};
  video.samplesPerChunk = {1, 2};
  video.wideOffsets = true;
  video.constantSize = true;
  const MovieVideoTrack track = ReadTrackOf(scratch, {video});
  EXPECT_EQ(track.system, 3);
  ASSERT_EQ(track.samples.size(), 3u);
  EXPECT_EQ(track.samples[2].offset, track.samples[1].offset + 64);
}

TEST(ReadMovieVideoTrack, GeneralCodesTakeTheSystemFromTheFrameSize) {
  ScratchFolder scratch;
  TestTrack video;
  video.format = "dvh1";
  video.width = 1280;
  video.height = 1080;
  video.samples = {Filled(288000, 0)};
  EXPECT_EQ(ReadTrackOf(scratch, {video}).system, 4);
}

TEST(ReadMovieVideoTrack, SaysWhatIsMissingOrDamaged) {
  ScratchFolder scratch;
  TestTrack audio;
  audio.handler = "soun";
  audio.format = "sowt";
  audio.samples = {Filled(10, 0)};
  EXPECT_THAT(ErrorOf(scratch, BuildMovie({audio})), HasSubstr("has no video track"));

  TestTrack other;
  other.format = "avc1";
  other.samples = {Filled(10, 0)};
  EXPECT_THAT(ErrorOf(scratch, BuildMovie({other})),
              HasSubstr("holds \"avc1\" video, not DVCPRO HD"));

  EXPECT_THAT(ErrorOf(scratch, testing::Atom("ftyp", Filled(12, 0))),
              HasSubstr("without a movie atom"));

  // A child atom claiming more bytes than the movie atom holds.
  std::vector<std::uint8_t> damaged = testing::Atom("moov", testing::Atom("trak", Filled(16, 0)));
  damaged[11] = 0x7f;
  EXPECT_THAT(ErrorOf(scratch, damaged), HasSubstr("damaged QuickTime movie"));

  TestTrack video;
  video.samples = {Filled(10, 0), Filled(10, 0)};
  auto movie = BuildMovie({video});
  // Cut the table off inside stco: the reader must notice, not read past the atom.
  const std::string stco = "stco";
  const auto at = std::search(movie.begin(), movie.end(), stco.begin(), stco.end());
  ASSERT_NE(at, movie.end());
  *(at + 11) = 200;  // chunk count far beyond the atom
  EXPECT_THAT(ErrorOf(scratch, movie), HasSubstr("cut short"));
}

TEST(ReadMovieVideoTrack, SurvivesAnyDamagedByteOfTheMovieAtom) {
  ScratchFolder scratch;
  TestTrack audio;
  audio.handler = "soun";
  audio.format = "sowt";
  audio.samples = {Filled(8, 0)};
  TestTrack video;
  video.samples = {Filled(16, 1), Filled(16, 2), Filled(16, 3)};
  video.samplesPerChunk = {2, 1};
  const std::vector<std::uint8_t> movie = BuildMovie({audio, video});
  const std::string moov = "moov";
  const auto movieAtom = std::search(movie.begin(), movie.end(), moov.begin(), moov.end()) - 4;
  WriteBytes(scratch / "clip.mov", movie);
  auto poke = [&](std::size_t offset, std::uint8_t value) {
    std::fstream patch(scratch / "clip.mov", std::ios::in | std::ios::out | std::ios::binary);
    patch.seekp(static_cast<std::streamoff>(offset));
    patch.put(static_cast<char>(value));
  };
  int refused = 0;
  for (auto at = movieAtom; at != movie.end(); ++at) {
    const auto offset = static_cast<std::size_t>(at - movie.begin());
    for (int value : {0x00, 0x01, 0x7f, 0xff}) {
      poke(offset, static_cast<std::uint8_t>(value));
      InputFile file(scratch / "clip.mov");
      try {
        const MovieVideoTrack track = ReadMovieVideoTrack(file);
        EXPECT_LE(track.samples.size(), 3u);
      } catch (const ToolError&) {
        ++refused;
      }
    }
    poke(offset, *at);
  }
  EXPECT_GT(refused, 0);
}

TEST(CheckSampleInFile, NamesTheSampleOutsideTheFile) {
  MovieVideoTrack track;
  track.samples = {{0, 100}, {100, 100}, {200, 100}, {250, 100}};
  EXPECT_NO_THROW(CheckSampleInFile(track, 2, 300));
  try {
    CheckSampleInFile(track, 3, 300);
    ADD_FAILURE() << "no error";
  } catch (const ToolError& error) {
    EXPECT_THAT(error.what(), HasSubstr("sample 3 of the video track"));
    EXPECT_THAT(error.what(), HasSubstr("--frames 0-2"));
  }
  track.samples[0] = {UINT64_MAX - 10, 100};
  EXPECT_THROW(CheckSampleInFile(track, 0, 300), ToolError);
}

TEST(LooksLikeMovie, KnowsTopLevelAtomsOnly) {
  const auto movie = testing::Atom("ftyp", Filled(12, 0));
  EXPECT_TRUE(LooksLikeMovie(movie.data(), movie.size()));
  const auto frame = testing::TestFrame(1);
  EXPECT_FALSE(LooksLikeMovie(frame.data(), frame.size()));
}

}  // namespace
}  // namespace halvaris::decode_tool
