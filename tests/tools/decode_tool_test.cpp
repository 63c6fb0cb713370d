#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "decode_tool.h"
#include "movie_builder.h"
#include "system_detection.h"
#include "test_files.h"

namespace halvaris::decode_tool {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::ReadBytes;
using testing::ScratchFolder;
using testing::TestFrame;
using testing::WriteBytes;

struct Outcome {
  int exitCode;
  std::string messages;
};

Outcome RunTool(const std::vector<std::string>& arguments) {
  std::FILE* messages = std::tmpfile();
  Outcome outcome{RunDecodeTool(arguments, messages), ""};
  std::rewind(messages);
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, messages)) > 0)
    outcome.messages.append(buffer, got);
  std::fclose(messages);
  return outcome;
}

std::vector<std::uint8_t> Decoded(const std::vector<std::uint8_t>& frame, VideoSystem system) {
  return testing::DecodePicture(frame, system);
}

std::vector<std::uint8_t> Concatenated(std::initializer_list<std::vector<std::uint8_t>> parts) {
  return testing::Join(parts);
}

// Three frames of system 2: plain, detailed, and the first 100000 bytes of the plain one.
class DecodeToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plain_ = TestFrame(2, "testsrc2");
    detailed_ = TestFrame(2, "detailed");
    cut_ = std::vector<std::uint8_t>(plain_.begin(), plain_.begin() + 100000);
    WriteBytes(scratch_ / "clip.dif", Concatenated({plain_, detailed_, cut_}));
  }

  ScratchFolder scratch_;
  std::vector<std::uint8_t> plain_, detailed_, cut_;
};

TEST_F(DecodeToolTest, WritesEveryFrameAndWarnsAboutTheCutOne) {
  const Outcome outcome = RunTool({"--system", "2", scratch_ / "clip.dif", scratch_ / "clip.yuy2"});
  EXPECT_EQ(outcome.exitCode, 0) << outcome.messages;
  EXPECT_THAT(outcome.messages, HasSubstr("frame 2 is cut short (100000 of 240000 bytes)"));
  EXPECT_THAT(outcome.messages, HasSubstr("3 frames decoded"));
  EXPECT_EQ(ReadBytes(scratch_ / "clip.yuy2"),
            Concatenated({Decoded(plain_, 2), Decoded(detailed_, 2), Decoded(cut_, 2)}));
}

TEST_F(DecodeToolTest, FrameRangeSelectsFramesAndQuietSaysNothing) {
  const Outcome outcome =
      RunTool({"-q", "--frames", "1-1", scratch_ / "clip.dif", scratch_ / "one.yuy2"});
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_THAT(outcome.messages, IsEmpty());
  EXPECT_EQ(ReadBytes(scratch_ / "one.yuy2"), Decoded(detailed_, 2));
}

TEST_F(DecodeToolTest, MovieFramesEqualRawFrames) {
  testing::TestTrack audio;
  audio.handler = "soun";
  audio.format = "sowt";
  audio.samples = {std::vector<std::uint8_t>(4000, 1)};
  testing::TestTrack video;
  video.samples = {plain_, detailed_};
  WriteBytes(scratch_ / "clip.mov", testing::BuildMovie({audio, video}));

  const Outcome outcome = RunTool({scratch_ / "clip.mov", scratch_ / "movie.yuy2"});
  EXPECT_EQ(outcome.exitCode, 0) << outcome.messages;
  EXPECT_THAT(outcome.messages, HasSubstr("QuickTime movie, \"dvhp\" track of 960x720, 2 frames"));
  ASSERT_EQ(
      RunTool({"-q", "--frames", "0-1", scratch_ / "clip.dif", scratch_ / "raw.yuy2"}).exitCode, 0);
  EXPECT_EQ(ReadBytes(scratch_ / "movie.yuy2"), ReadBytes(scratch_ / "raw.yuy2"));
}

TEST_F(DecodeToolTest, MovieSampleOutsideTheFileStopsAndRemovesTheOutput) {
  testing::TestTrack video;
  video.samples = {plain_, detailed_, plain_};
  video.samplesPerChunk = {2, 1};
  auto movie = testing::BuildMovie({video});
  // Move the second chunk far past the end of the file.
  const std::string stco = "stco";
  const auto at = std::search(movie.begin(), movie.end(), stco.begin(), stco.end());
  ASSERT_NE(at, movie.end());
  *(at + 16) = 0x7f;
  WriteBytes(scratch_ / "clip.mov", movie);

  const Outcome outcome = RunTool({scratch_ / "clip.mov", scratch_ / "clip.y4m"});
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_THAT(outcome.messages, HasSubstr("error: sample 2 of the video track"));
  EXPECT_THAT(outcome.messages, HasSubstr("--frames 0-1"));
  EXPECT_THAT(scratch_.Names(), ElementsAre("clip.dif", "clip.mov"));
}

TEST_F(DecodeToolTest, FailuresExitNonZeroWithOneLineAndNoOutput) {
  const std::vector<std::vector<std::string>> cases = {
      {"-q", "--frames", "3-", scratch_ / "clip.dif", scratch_ / "out.yuy2"},
      {"-q", scratch_ / "clip.dif", scratch_ / "out.avi"},
      {"-q", scratch_ / "missing.dif", scratch_ / "out.yuy2"},
      {"-q", scratch_ / "clip.dif", scratch_ / "out.png"},  // three frames, no %d
      {"-q", scratch_ / "clip.dif", scratch_ / "clip.dif"},
      {"--threads", "20", scratch_ / "clip.dif", scratch_ / "out.yuy2"},
  };
  for (const auto& arguments : cases) {
    const Outcome outcome = RunTool(arguments);
    EXPECT_EQ(outcome.exitCode, 1) << arguments[arguments.size() - 1];
    EXPECT_THAT(outcome.messages, ::testing::StartsWith("halvaris-decode: error: "));
    EXPECT_EQ(std::count(outcome.messages.begin(), outcome.messages.end(), '\n'), 1)
        << outcome.messages;
  }
  EXPECT_THAT(scratch_.Names(), ElementsAre("clip.dif"));
  EXPECT_EQ(ReadBytes(scratch_ / "clip.dif").size(), 580000u);
}

}  // namespace
}  // namespace halvaris::decode_tool
