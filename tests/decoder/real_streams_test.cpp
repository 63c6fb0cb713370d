#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "dsp.h"
#include "frame_builder.h"
#include "test_hooks.h"

namespace halvaris {
namespace {

struct Stream {
  VideoSystem system;
  const char* source;
  std::uint64_t pictureHash;  // FNV-1a of our picture, the same on every platform and build
};

// Frames encoded by FFmpeg from its test pattern and from a noisy fractal, which uses every
// quantisation combination.
const Stream kStreams[] = {
    {1, "testsrc2", 0xfb9c05a4a6b05105}, {1, "detailed", 0xec86f48eb510e931},
    {2, "testsrc2", 0x2cb767251b71b73d}, {2, "detailed", 0x4a6a6886d823a56d},
    {3, "testsrc2", 0x05b9b64f4ddb0d8e}, {3, "detailed", 0xef0af72bbdc7ee7e},
    {4, "testsrc2", 0x2cb767251b71b73d}, {4, "detailed", 0x4a6a6886d823a56d},
};

std::string PathOf(const Stream& stream) {
  return testing::TestDataPath("system" + std::to_string(stream.system) + "-" + stream.source +
                               ".dif")
      .string();
}

std::uint64_t Fnv1a(const std::vector<std::uint8_t>& bytes) {
  std::uint64_t hash = 0xcbf29ce484222325;
  for (std::uint8_t byte : bytes) hash = (hash ^ byte) * 0x100000001b3;
  return hash;
}

TEST(RealStreams, PicturesAreBitExactOnEveryPlatform) {
  for (const Stream& stream : kStreams) {
    const std::vector<std::uint8_t> frame = testing::ReadTestFrame(stream.system, stream.source);
    ASSERT_FALSE(frame.empty()) << PathOf(stream);
    EXPECT_EQ(Fnv1a(testing::DecodePicture(frame, stream.system)), stream.pictureHash)
        << PathOf(stream);
  }
}

// Every kernel level this machine has, on any number of workers, gives the bytes of the scalar
// kernels on one worker.
TEST(RealStreams, EveryLevelAndWorkerCountGivesTheScalarOneWorkerPicture) {
  const DspFunctions* levels[3];
  const int levelCount = AvailableDsps(levels);
  for (const Stream& stream : kStreams) {
    SCOPED_TRACE(PathOf(stream));
    const std::vector<std::uint8_t> frame = testing::ReadTestFrame(stream.system, stream.source);
    ASSERT_FALSE(frame.empty());
    test_hooks::UseDsp(&ScalarDsp());
    const std::vector<std::uint8_t> reference = testing::DecodePicture(frame, stream.system, 1);
    ASSERT_EQ(Fnv1a(reference), stream.pictureHash);
    for (int level = 0; level < levelCount; ++level) {
      test_hooks::UseDsp(levels[level]);
      for (int workers : {1, 2, 3, 8}) {
        EXPECT_TRUE(testing::DecodePicture(frame, stream.system, workers) == reference)
            << levels[level]->name << ", " << workers << " workers";
      }
    }
    test_hooks::UseDsp(nullptr);
  }
}

#ifndef _WIN32
// PSNR of one YUY2 component: offset 0 and step 2 for Y, 1 and 4 for U, 3 and 4 for V.
double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
            std::size_t first, std::size_t step) {
  double squares = 0;
  std::size_t count = 0;
  for (std::size_t i = first; i < a.size(); i += step, ++count) {
    const double difference = double(a[i]) - double(b[i]);
    squares += difference * difference;
  }
  return squares == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / (squares / double(count)));
}

std::vector<std::uint8_t> DecodeWithFfmpeg(const std::string& path) {
  const std::string command =
      "ffmpeg -nostdin -loglevel quiet -f dv -i " + path + " -f rawvideo -pix_fmt yuyv422 -";
  std::vector<std::uint8_t> picture;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    std::uint8_t buffer[65536];
    std::size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
      picture.insert(picture.end(), buffer, buffer + got);
    pclose(pipe);
  }
  return picture;
}

TEST(RealStreams, AgreeWithFfmpegWithinRounding) {
  for (const Stream& stream : kStreams) {
    SCOPED_TRACE(PathOf(stream));
    const std::vector<std::uint8_t> ours =
        testing::DecodePicture(testing::ReadTestFrame(stream.system, stream.source), stream.system);
    const std::vector<std::uint8_t> theirs = DecodeWithFfmpeg(PathOf(stream));
    ASSERT_EQ(theirs.size(), ours.size()) << "ffmpeg (Debian package ffmpeg) must be installed";
    EXPECT_GE(Psnr(ours, theirs, 0, 2), 50.0);
    EXPECT_GE(Psnr(ours, theirs, 1, 4), 50.0);
    EXPECT_GE(Psnr(ours, theirs, 3, 4), 50.0);
  }
}
#endif

}  // namespace
}  // namespace halvaris
