#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <new>

#include "decode_tool.h"
#include "media_names.h"
#include "movie_builder.h"
#include "run_tool.h"
#include "test_files.h"

namespace halvaris::decode_tool {
namespace {

using test_support::ReadBytes;
using test_support::ScratchFolder;
using test_support::TestFrame;
using test_support::WriteBytes;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

using test_support::Outcome;
using test_support::RunTool;

std::vector<std::uint8_t> Decoded(const std::vector<std::uint8_t>& frame, VideoSystem system) {
  return test_support::DecodePicture(frame, system);
}

std::vector<std::uint8_t> Concatenated(std::initializer_list<std::vector<std::uint8_t>> parts) {
  return test_support::Join(parts);
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
  // A range past the end is not quietly cut.
  EXPECT_THAT(
      RunTool({"-q", "--frames", "1-9", scratch_ / "clip.dif", scratch_ / "two.yuy2"}).messages,
      HasSubstr("warning: the input has 3 frames (counted from 0): frames 1 to 2 are "
                "decoded\n"));
  EXPECT_THAT(RunTool({"-q", "--frames", "9223372036854775807-", scratch_ / "clip.dif",
                       scratch_ / "none.yuy2"})
                  .messages,
              HasSubstr("--frames starts at frame 9223372036854775807 but the input has 3 frames"));
}

TEST_F(DecodeToolTest, MovieFramesEqualRawFrames) {
  test_support::TestTrack audio;
  audio.handler = "soun";
  audio.format = "sowt";
  audio.samples = {std::vector<std::uint8_t>(4000, 1)};
  test_support::TestTrack video;
  video.samples = {plain_, detailed_};
  WriteBytes(scratch_ / "clip.mov", test_support::BuildMovie({audio, video}));

  const Outcome outcome = RunTool({scratch_ / "clip.mov", scratch_ / "movie.yuy2"});
  EXPECT_EQ(outcome.exitCode, 0) << outcome.messages;
  EXPECT_THAT(outcome.messages, HasSubstr("QuickTime movie, \"dvhp\" track of 960x720, 2 frames"));
  ASSERT_EQ(
      RunTool({"-q", "--frames", "0-1", scratch_ / "clip.dif", scratch_ / "raw.yuy2"}).exitCode, 0);
  EXPECT_EQ(ReadBytes(scratch_ / "movie.yuy2"), ReadBytes(scratch_ / "raw.yuy2"));
}

TEST_F(DecodeToolTest, MovieSampleOutsideTheFileStopsAndRemovesTheOutput) {
  test_support::TestTrack video;
  video.samples = {plain_, detailed_, plain_};
  video.samplesPerChunk = {2, 1};
  auto movie = test_support::BuildMovie({video});
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

TEST_F(DecodeToolTest, ReaderErrorsComeWithTheOptionThatHelps) {
  auto frame = TestFrame(1);
  for (std::size_t block = 3; block <= 5; ++block) {  // no packs in the video auxiliary blocks
    for (std::size_t pack = 0; pack < 15; ++pack) frame[block * 80 + 3 + 5 * pack] = 0xff;
  }
  WriteBytes(scratch_ / "packless.dif", frame);
  EXPECT_THAT(RunTool({"-q", scratch_ / "packless.dif", scratch_ / "out.yuy2"}).messages,
              ::testing::EndsWith(": the stream's header data do not name its video system; give "
                                  "--system 1, 2, 3 or 4 (see --help)\n"));
  EXPECT_THAT(RunTool({"--clip", "0001AB", scratch_ / "clip.dif", scratch_ / "out.yuy2"}).messages,
              ::testing::EndsWith("error: --clip names a clip of a P2 card, but " +
                                  scratch_ / "clip.dif" + " is not a card's folder\n"));
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

// A movie of the plain and detailed frames whose third sample lies far past the end of the file.
std::vector<std::uint8_t> MovieFailingAtTheThirdFrame(const std::vector<std::uint8_t>& plain,
                                                      const std::vector<std::uint8_t>& detailed) {
  test_support::TestTrack video;
  video.samples = {plain, detailed, plain};
  video.samplesPerChunk = {2, 1};
  auto movie = test_support::BuildMovie({video});
  const std::string stco = "stco";
  const auto at = std::search(movie.begin(), movie.end(), stco.begin(), stco.end());
  *(at + 16) = 0x7f;
  return movie;
}

TEST_F(DecodeToolTest, PictureNamesThatWouldBeTheInputAreRefusedBeforeAnythingIsWritten) {
  WriteBytes(scratch_ / "take1.dif", Concatenated({plain_, detailed_, plain_}));
  const auto input = ReadBytes(scratch_ / "take1.dif");
  const Outcome outcome =
      RunTool({"-q", "--format", "png", scratch_ / "take1.dif", scratch_ / "take%d.dif"});
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_THAT(outcome.messages, HasSubstr("the picture of frame 1 would be called"));
  EXPECT_THAT(outcome.messages, HasSubstr("which is the input file"));
  EXPECT_EQ(ReadBytes(scratch_ / "take1.dif"), input);
  EXPECT_THAT(scratch_.Names(), ElementsAre("clip.dif", "take1.dif"));
}

TEST_F(DecodeToolTest, FailedRunLeavesTheOldOutputAsItWas) {
  WriteBytes(scratch_ / "clip.mov", MovieFailingAtTheThirdFrame(plain_, detailed_));
  const std::vector<std::uint8_t> old = {'k', 'e', 'e', 'p'};
  WriteBytes(scratch_ / "out.y4m", old);
  std::vector<std::string> expected = {"clip.dif", "clip.mov", "out.y4m"};
#ifndef _WIN32
  // Through a link too: the link stays and what it leads to is untouched.
  std::filesystem::create_symlink("out.y4m", scratch_ / "link.y4m");
  expected.push_back("link.y4m");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(RunTool({"-q", scratch_ / "clip.mov", scratch_ / "link.y4m"}).exitCode, 1);
  EXPECT_TRUE(std::filesystem::is_symlink(scratch_ / "link.y4m"));
#endif
  const Outcome outcome = RunTool({"-q", scratch_ / "clip.mov", scratch_ / "out.y4m"});
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_THAT(outcome.messages, HasSubstr("sample 2 of the video track"));
  EXPECT_EQ(ReadBytes(scratch_ / "out.y4m"), old);
  EXPECT_EQ(scratch_.Names(), expected);
}

TEST_F(DecodeToolTest, FailedPictureSequenceKeepsItsCompletePicturesAndSaysHowMany) {
  WriteBytes(scratch_ / "clip.mov", MovieFailingAtTheThirdFrame(plain_, detailed_));
  const Outcome outcome = RunTool({"-q", scratch_ / "clip.mov", scratch_ / "f%d.png"});
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_THAT(outcome.messages,
              HasSubstr("; 2 complete pictures were kept (" + scratch_ / "f0.png" + " to " +
                        scratch_ / "f1.png" + ")\n"));
  EXPECT_THAT(scratch_.Names(), ElementsAre("clip.dif", "clip.mov", "f0.png", "f1.png"));
}

TEST_F(DecodeToolTest, AStreamThatChangesSystemStopsAtTheFirstFrameOfTheOther) {
  WriteBytes(scratch_ / "joined.dif", Concatenated({plain_, detailed_, TestFrame(4), plain_}));
  const Outcome outcome = RunTool({"-q", scratch_ / "joined.dif", scratch_ / "out.yuy2"});
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_THAT(outcome.messages,
              HasSubstr("error: frame 2 is 720 lines at 50 Hz (960x720), but frame 0 is 720 lines "
                        "at 60 Hz (960x720) (two clips joined?)"));
  EXPECT_THAT(outcome.messages, HasSubstr("holds the 2 frames before it"));
  // What came before is a complete output of its own.
  EXPECT_EQ(ReadBytes(scratch_ / "out.yuy2"),
            Concatenated({Decoded(plain_, 2), Decoded(detailed_, 2)}));
}

TEST_F(DecodeToolTest, SaysWhereTheVideoSystemCameFrom) {
  EXPECT_THAT(RunTool({scratch_ / "clip.dif", scratch_ / "a.yuy2"}).messages,
              HasSubstr("system 2 (from the stream's own data)"));
  EXPECT_THAT(RunTool({"--system", "2", scratch_ / "clip.dif", scratch_ / "b.yuy2"}).messages,
              HasSubstr("system 2 (as --system says)"));
  // Frames without the packs that name their system, in a track whose code names it.
  std::vector<std::uint8_t> frame = plain_;
  for (int block = 3; block <= 5; ++block) {
    for (int pack = 0; pack < 15; ++pack) frame[block * 80 + 3 + 5 * pack] = 0xff;
  }
  test_support::TestTrack video;
  video.samples = {frame};
  WriteBytes(scratch_ / "clip.mov", test_support::BuildMovie({video}));
  EXPECT_THAT(RunTool({scratch_ / "clip.mov", scratch_ / "c.yuy2"}).messages,
              HasSubstr("system 2 (from the sample description (\"dvhp\"))"));
}

// The decoder's per-worker buffers come from new (std::nothrow); this test program can make
// those allocations fail.
std::atomic<bool> failNothrowArrays{false};

TEST_F(DecodeToolTest, AFrameTheDecoderCouldNotCompleteFailsTheRunAndIsNeverWritten) {
  failNothrowArrays = true;
  const Outcome outcome =
      RunTool({"-q", "--threads", "1", scratch_ / "clip.dif", scratch_ / "out.yuy2"});
  failNothrowArrays = false;
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_THAT(outcome.messages, HasSubstr("Halvaris: Could not allocate Halvaris DCT buffers\n"));
  EXPECT_THAT(outcome.messages, HasSubstr("error: frame 0 could not be decoded"));
  EXPECT_THAT(scratch_.Names(), ElementsAre("clip.dif"));
}

// With the decoder unable to decode anything, a report without OUTPUT still reads every frame:
// it decodes nothing.
TEST_F(DecodeToolTest, AReportWithoutOutputReadsTheFactsAndDecodesNothing) {
  failNothrowArrays = true;
  const Outcome outcome = RunTool({"--report", scratch_ / "report.json", scratch_ / "clip.dif"});
  failNothrowArrays = false;
  EXPECT_EQ(outcome.exitCode, 0) << outcome.messages;
  EXPECT_THAT(outcome.messages, HasSubstr("3 frames read"));
  EXPECT_THAT(outcome.messages, HasSubstr("3 frames: 0 (0.0%) with flagged blocks"));
  EXPECT_THAT(scratch_.Names(), ElementsAre("clip.dif", "report.json"));
}

}  // namespace
}  // namespace halvaris::decode_tool

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (halvaris::decode_tool::failNothrowArrays) return nullptr;
  try {
    return ::operator new[](size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
