// halvaris-decode's output read back by FFmpeg, and movies made by FFmpeg read by halvaris-decode.
// Native only: the tests start the program, ffmpeg and ffprobe through the shell.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "test_files.h"

namespace halvaris::decode_tool {
namespace {

using test_support::ReadBytes;
using test_support::ScratchFolder;

const std::string kProgram = HALVARIS_DECODE_PROGRAM;
const std::string kFfmpeg = std::string(FFMPEG_PROGRAM) + " -nostdin -v error -y";
const std::string kFfprobe = std::string(FFPROBE_PROGRAM) + " -v error";

std::string Quoted(const std::string& text) {
  return "'" + text + "'";
}

int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return status == 0 ? 0 : 1;
}

std::string Capture(const std::string& command) {
  std::string output;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[1024];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    pclose(pipe);
  }
  return output;
}

std::string TestFramePath(int system, const std::string& source = "testsrc2") {
  return test_support::TestDataPath("system" + std::to_string(system) + "-" + source + ".dif")
      .string();
}

TEST(FfmpegReadsOurY4m, SizeRateAspectAndInterlacingOfEverySystem) {
  ScratchFolder scratch;
  const char* expected[4] = {
      "width=1280|height=1080|sample_aspect_ratio=3:2|display_aspect_ratio=16:9|pix_fmt=yuv422p|"
      "field_order=bb|"
      "r_frame_rate=30000/1001",
      "width=960|height=720|sample_aspect_ratio=4:3|display_aspect_ratio=16:9|pix_fmt=yuv422p|"
      "field_order="
      "progressive|"
      "r_frame_rate=60000/1001",
      "width=1440|height=1080|sample_aspect_ratio=4:3|display_aspect_ratio=16:9|pix_fmt=yuv422p|"
      "field_order=bb|"
      "r_frame_rate=25/1",
      "width=960|height=720|sample_aspect_ratio=4:3|display_aspect_ratio=16:9|pix_fmt=yuv422p|"
      "field_order="
      "progressive|"
      "r_frame_rate=50/1",
  };
  for (int system = 1; system <= 4; ++system) {
    const std::string y4m = scratch / ("clip" + std::to_string(system) + ".y4m");
    ASSERT_EQ(Shell(kProgram + " -q " + TestFramePath(system) + " " + Quoted(y4m)), 0);
    const std::string probed =
        Capture(kFfprobe +
                " -show_entries stream=width,height,sample_aspect_ratio,display_aspect_ratio,"
                "field_order,r_frame_rate,pix_fmt -of compact=nokey=0:print_section=0 " +
                Quoted(y4m));
    EXPECT_EQ(probed, std::string(expected[system - 1]) + "\n");
  }
}

// Our PNG against FFmpeg's own BT.709 conversion of our YUY2. FFmpeg is given the chroma of every
// pixel (4:4:4, odd pixels the rounded mean of their neighbours, as we place them), so that only
// the matrix, the ranges and the rounding are compared.
TEST(FfmpegReadsOurPng, PixelsAgreeWithFfmpegRgbWithinRounding) {
  ScratchFolder scratch;
  const std::string yuy2 = scratch / "frame.yuy2", png = scratch / "frame.png";
  ASSERT_EQ(Shell(kProgram + " -q " + TestFramePath(1, "detailed") + " " + Quoted(yuy2)), 0);
  ASSERT_EQ(Shell(kProgram + " -q " + TestFramePath(1, "detailed") + " " + Quoted(png)), 0);

  const int width = 1280, height = 1080;
  const auto packed = ReadBytes(yuy2);
  ASSERT_EQ(packed.size(), static_cast<std::size_t>(width) * height * 2);
  std::vector<std::uint8_t> planar(packed.size() / 2 * 3);
  const std::size_t pixels = static_cast<std::size_t>(width) * height;
  for (std::size_t p = 0; p < pixels; ++p) {
    const std::size_t pair = p / 2 * 4;
    const bool lastColumn = p % width == static_cast<std::size_t>(width - 1);
    const std::size_t next = p % 2 == 1 && !lastColumn ? pair + 4 : pair;
    planar[p] = packed[p % 2 == 0 ? pair : pair + 2];
    planar[pixels + p] = static_cast<std::uint8_t>((packed[pair + 1] + packed[next + 1] + 1) / 2);
    planar[2 * pixels + p] =
        static_cast<std::uint8_t>((packed[pair + 3] + packed[next + 3] + 1) / 2);
  }
  test_support::WriteBytes(scratch / "frame.yuv444", planar);
  ASSERT_EQ(Shell(kFfmpeg + " -f rawvideo -pixel_format yuv444p -video_size 1280x1080 -i " +
                  Quoted(scratch / "frame.yuv444") +
                  " -vf scale=in_color_matrix=bt709:in_range=tv:out_range=pc:flags=neighbor+"
                  "accurate_rnd+full_chroma_int,format=rgb24 -f rawvideo " +
                  Quoted(scratch / "reference.rgb")),
            0);
  ASSERT_EQ(Shell(kFfmpeg + " -i " + Quoted(png) + " -f rawvideo -pix_fmt rgb24 " +
                  Quoted(scratch / "ours.rgb")),
            0);
  const auto reference = ReadBytes(scratch / "reference.rgb");
  const auto ours = ReadBytes(scratch / "ours.rgb");
  ASSERT_EQ(ours.size(), pixels * 3);
  ASSERT_EQ(reference.size(), ours.size());
  int largest = 0;
  std::size_t offByMoreThanOne = 0;
  for (std::size_t i = 0; i < ours.size(); ++i) {
    const int difference = std::abs(ours[i] - reference[i]);
    largest = std::max(largest, difference);
    if (difference > 1) ++offByMoreThanOne;
  }
  // The mean chroma handed to FFmpeg is rounded to a whole level; ours keeps the half.
  EXPECT_LE(largest, 2);
  EXPECT_LT(offByMoreThanOne, ours.size() / 100);
}

TEST(FfmpegReadsOurPng, DisplaySizeGivesTheDisplayedPicture) {
  ScratchFolder scratch;
  for (int system : {1, 3, 4}) {
    const std::string png = scratch / ("frame" + std::to_string(system) + ".png");
    ASSERT_EQ(Shell(kProgram + " -q --display-size " + TestFramePath(system) + " " + Quoted(png)),
              0);
    EXPECT_EQ(Capture(kFfprobe + " -show_entries stream=width,height -of csv=p=0 " + Quoted(png)),
              system == 4 ? "1280,720\n" : "1920,1080\n");
  }
}

// A movie with sound made by FFmpeg decodes to the same pictures as its frames taken out raw,
// and the y4m written to a pipe is what FFmpeg reads on its standard input.
TEST(FfmpegMovie, FramesEqualTheRawStreamByteForByte) {
  ScratchFolder scratch;
  const std::string movie = scratch / "clip.mov", raw = scratch / "clip.dif";
  ASSERT_EQ(Shell(kFfmpeg +
                  " -f lavfi -i testsrc2=size=960x720:rate=50 -f lavfi -i sine=sample_rate=48000"
                  " -frames:v 3 -pix_fmt yuv422p -c:v dvvideo -c:a pcm_s16le -shortest -f mov " +
                  Quoted(movie)),
            0);
  ASSERT_EQ(
      Shell(kFfmpeg + " -i " + Quoted(movie) + " -map 0:v -c copy -f rawvideo " + Quoted(raw)), 0);
  ASSERT_EQ(ReadBytes(raw).size(), 3u * 288000u);

  ASSERT_EQ(Shell(kProgram + " -q " + Quoted(movie) + " " + Quoted(scratch / "movie.yuy2")), 0);
  ASSERT_EQ(Shell(kProgram + " -q " + Quoted(raw) + " " + Quoted(scratch / "raw.yuy2")), 0);
  const auto fromMovie = ReadBytes(scratch / "movie.yuy2");
  EXPECT_EQ(fromMovie.size(), 3u * 960u * 720u * 2u);
  EXPECT_TRUE(fromMovie == ReadBytes(scratch / "raw.yuy2"));

  ASSERT_EQ(Shell(kProgram + " -q " + Quoted(movie) + " - | " + kFfmpeg +
                  " -i - -f rawvideo -pix_fmt yuyv422 " + Quoted(scratch / "piped.yuy2")),
            0);
  EXPECT_TRUE(fromMovie == ReadBytes(scratch / "piped.yuy2"));
}

}  // namespace
}  // namespace halvaris::decode_tool
