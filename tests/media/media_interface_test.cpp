// The C interface of media.h on files made here (no FFmpeg): frames in any order, errors as
// negative results with one line naming the input, and arguments it must refuse.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "halvaris/media.h"
#include "movie_builder.h"
#include "test_files.h"

namespace halvaris::media {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test_support::ScratchFolder;
using test_support::TestFrame;
using test_support::WriteBytes;
using ::testing::HasSubstr;
using ::testing::Not;

// Four frames of system 1, each unlike the one before it.
Bytes FourFrames() {
  Bytes stream;
  for (const char* source : {"testsrc2", "detailed", "detailed", "testsrc2"}) {
    const Bytes frame = TestFrame(1, source);
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  stream[stream.size() / 2 + 1000] ^= 0x55;  // frame 2 differs from frame 1
  return stream;
}

Bytes ReadFrame(HalvarisMedia* media, std::int64_t index) {
  Bytes frame(600000);  // more than any system's frame
  std::size_t bytes = 0;
  EXPECT_EQ(halvaris_media_read_frame(media, index, frame.data(), frame.size(), &bytes),
            HALVARIS_MEDIA_OK)
      << halvaris_media_last_error(media);
  frame.resize(bytes);
  return frame;
}

struct Closer {
  void operator()(HalvarisMedia* media) const { halvaris_media_close(media); }
};
using MediaHandle = std::unique_ptr<HalvarisMedia, Closer>;

MediaHandle OpenPath(const std::string& path) {
  HalvarisMedia* media = nullptr;
  EXPECT_EQ(halvaris_media_open(path.c_str(), nullptr, &media), HALVARIS_MEDIA_OK)
      << halvaris_media_last_error(nullptr);
  return MediaHandle(media);
}

TEST(MediaInterface, FramesInAnyOrderEqualTheSequentialOnes) {
  ScratchFolder scratch;
  const Bytes stream = FourFrames();
  const std::size_t frameBytes = stream.size() / 4;
  WriteBytes(scratch / "clip.dif", stream);
  test_support::TestTrack video;
  video.samplesPerChunk = {3, 1};
  for (int i = 0; i < 4; ++i)
    video.samples.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(i * frameBytes),
                               stream.begin() + static_cast<std::ptrdiff_t>((i + 1) * frameBytes));
  WriteBytes(scratch / "clip.mov", test_support::BuildMovie({video}));

  HalvarisMedia* inMemory = nullptr;
  ASSERT_EQ(halvaris_media_open_memory(stream.data(), stream.size(), nullptr, &inMemory),
            HALVARIS_MEDIA_OK);
  MediaHandle handles[] = {MediaHandle(inMemory), OpenPath(scratch / "clip.dif"),
                           OpenPath(scratch / "clip.mov")};
  for (const MediaHandle& handle : handles) {
    HalvarisMedia* media = handle.get();
    HalvarisMediaInfo info;
    ASSERT_EQ(halvaris_media_info(media, &info), HALVARIS_MEDIA_OK);
    SCOPED_TRACE(info.description);
    EXPECT_EQ(info.system, 1);
    EXPECT_EQ(info.frameCount, 4);
    EXPECT_EQ(info.seekable, 1);
    EXPECT_EQ(info.frameBytes, frameBytes);
    EXPECT_EQ(info.fieldOrder, HALVARIS_FIELD_ORDER_BOTTOM_FIRST);
    EXPECT_EQ(info.displayAspectNumerator * 9, info.displayAspectDenominator * 16);
    std::vector<Bytes> sequential;
    for (int i = 0; i < 4; ++i) sequential.push_back(ReadFrame(media, i));
    for (int i = 0; i < 4; ++i) {
      EXPECT_TRUE(std::equal(sequential[i].begin(), sequential[i].end(),
                             stream.begin() + static_cast<std::ptrdiff_t>(i * frameBytes)))
          << i;
    }
    for (std::int64_t index : {3, 2, 1, 0, 2, 0, 3, 3, 1}) {
      EXPECT_EQ(ReadFrame(media, index), sequential[static_cast<std::size_t>(index)]) << index;
    }
  }
  EXPECT_EQ(halvaris_media_clip_count(handles[1].get()), 1);
  EXPECT_EQ(std::string(halvaris_media_clip_name(handles[1].get(), 0)), scratch / "clip.dif");
}

TEST(MediaInterface, AFrameIsDescribedAsTheLibraryDescribesItsBytesInAnyOrder) {
  Bytes stream = FourFrames();
  const std::size_t frameBytes = stream.size() / 4;
  // Frame 2: the status of the first video block of its first DIF sequence says "error".
  std::uint8_t& status = stream[2 * frameBytes + 7 * 80 + 3];
  status = static_cast<std::uint8_t>(0x70 | (status & 15));
  HalvarisMedia* media = nullptr;
  ASSERT_EQ(halvaris_media_open_memory(stream.data(), stream.size(), nullptr, &media),
            HALVARIS_MEDIA_OK);
  const MediaHandle opened(media);
  for (std::int64_t index : {3, 2, 0, 2}) {
    SCOPED_TRACE(index);
    HalvarisFrameDescription described, expected;
    ASSERT_EQ(halvaris_media_describe_frame(media, index, &described), HALVARIS_MEDIA_OK);
    const Bytes frame = ReadFrame(media, index);
    ASSERT_EQ(halvaris_describe_frame(1, frame.data(), frame.size(), &expected), HALVARIS_OK);
    EXPECT_EQ(std::memcmp(&described, &expected, sizeof described), 0);
    EXPECT_EQ(described.errorBlocks, index == 2 ? 1u : 0u);
  }
  HalvarisFrameDescription description;
  EXPECT_EQ(halvaris_media_describe_frame(media, 4, &description),
            HALVARIS_MEDIA_ERROR_END_OF_INPUT);
  EXPECT_EQ(halvaris_media_describe_frame(media, -1, &description),
            HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(halvaris_media_describe_frame(media, 0, nullptr),
            HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(halvaris_media_describe_frame(nullptr, 0, &description),
            HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT);
}

TEST(MediaInterface, ErrorsAreNegativeResultsWithOneLineNamingTheInput) {
  ScratchFolder scratch;
  HalvarisMedia* media = nullptr;
  const std::string missing = scratch / "missing.dif";
  EXPECT_EQ(halvaris_media_open(missing.c_str(), nullptr, &media),
            HALVARIS_MEDIA_ERROR_CANNOT_READ);
  EXPECT_EQ(media, nullptr);
  EXPECT_THAT(halvaris_media_last_error(nullptr), HasSubstr(missing));

  const Bytes text(5000, 'x');
  EXPECT_EQ(halvaris_media_open_memory(text.data(), text.size(), nullptr, &media),
            HALVARIS_MEDIA_ERROR_NOT_DVCPRO_HD);
  Bytes packless = TestFrame(1);
  for (std::size_t block = 3; block <= 5; ++block) {
    for (std::size_t pack = 0; pack < 15; ++pack) packless[block * 80 + 3 + 5 * pack] = 0xff;
  }
  EXPECT_EQ(halvaris_media_open_memory(packless.data(), packless.size(), nullptr, &media),
            HALVARIS_MEDIA_ERROR_UNKNOWN_SYSTEM);
  EXPECT_THAT(halvaris_media_last_error(nullptr), HasSubstr("video system"));
  EXPECT_THAT(halvaris_media_last_error(nullptr), Not(HasSubstr("--")));
  HalvarisMediaSettings settings;
  halvaris_media_default_settings(&settings);
  settings.system = 3;
  ASSERT_EQ(halvaris_media_open_memory(packless.data(), packless.size(), &settings, &media),
            HALVARIS_MEDIA_OK);
  halvaris_media_close(media);

  WriteBytes(scratch / "clip.dif", FourFrames());
  settings.system = 0;
  settings.clip = "0001AB";
  const std::string clip = scratch / "clip.dif";
  EXPECT_EQ(halvaris_media_open(clip.c_str(), &settings, &media),
            HALVARIS_MEDIA_ERROR_UNKNOWN_CLIP);

  const MediaHandle opened = OpenPath(clip);
  Bytes frame(10);
  std::size_t bytes = 0;
  EXPECT_EQ(halvaris_media_read_frame(opened.get(), 9, frame.data(), frame.size(), &bytes),
            HALVARIS_MEDIA_ERROR_END_OF_INPUT);
  const std::string pastTheEnd = halvaris_media_last_error(opened.get());
  EXPECT_THAT(pastTheEnd, HasSubstr("frame 9"));
  EXPECT_THAT(pastTheEnd, HasSubstr(clip));
  EXPECT_EQ(pastTheEnd.find('\n'), std::string::npos);
  EXPECT_EQ(halvaris_media_read_frame(opened.get(), 1, frame.data(), frame.size(), &bytes),
            HALVARIS_MEDIA_ERROR_BUFFER_TOO_SMALL);
  EXPECT_EQ(bytes, FourFrames().size() / 4);
  // The frames' audio blocks carry no sound here: the sound of a range is refused, not silence.
  std::int64_t samples = -1;
  EXPECT_EQ(halvaris_media_read_sound(opened.get(), 0, 2, nullptr, 0, &samples),
            HALVARIS_MEDIA_ERROR_NO_SOUND);
  // A failure leaves the handle usable.
  EXPECT_EQ(ReadFrame(opened.get(), 1).size(), bytes);
  EXPECT_STREQ(halvaris_media_last_error(opened.get()), "");
}

TEST(MediaInterface, NullAndInvalidArgumentsAreRefused) {
  HalvarisMedia* media = nullptr;
  EXPECT_EQ(halvaris_media_open(nullptr, nullptr, &media), HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(halvaris_media_open("x.dif", nullptr, nullptr), HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(halvaris_media_open_memory(nullptr, 10, nullptr, &media),
            HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT);
  const Bytes frame = TestFrame(2);
  HalvarisMediaSettings settings;
  halvaris_media_default_settings(&settings);
  settings.system = 9;
  EXPECT_EQ(halvaris_media_open_memory(frame.data(), frame.size(), &settings, &media),
            HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(media, nullptr);

  ASSERT_EQ(halvaris_media_open_memory(frame.data(), frame.size(), nullptr, &media),
            HALVARIS_MEDIA_OK);
  const MediaHandle opened(media);
  Bytes buffer(frame.size());
  std::size_t bytes = 0;
  std::int64_t samples = 0;
  EXPECT_EQ(halvaris_media_read_frame(nullptr, 0, buffer.data(), buffer.size(), &bytes),
            HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(halvaris_media_read_frame(media, -1, buffer.data(), buffer.size(), &bytes),
            HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(halvaris_media_read_frame(media, 0, nullptr, 10, &bytes),
            HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(halvaris_media_read_frame(media, 0, buffer.data(), buffer.size(), nullptr),
            HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(halvaris_media_read_sound(media, 0, -1, nullptr, 0, &samples),
            HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(halvaris_media_info(media, nullptr), HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(halvaris_media_select_clip(media, 1), HALVARIS_MEDIA_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(halvaris_media_clip_name(media, 1), nullptr);
  EXPECT_EQ(halvaris_media_clip_count(nullptr), 0);
  EXPECT_STRNE(halvaris_media_result_text(HALVARIS_MEDIA_ERROR_NOT_SEEKABLE), "unknown result");
  halvaris_media_close(nullptr);
  // The 720-line frames' audio blocks are not read: no sound, said so.
  HalvarisMediaInfo info;
  ASSERT_EQ(halvaris_media_info(media, &info), HALVARIS_MEDIA_OK);
  EXPECT_EQ(info.soundChannels, 0);
  EXPECT_EQ(halvaris_media_read_frame(media, 0, buffer.data(), buffer.size(), &bytes),
            HALVARIS_MEDIA_OK);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(bytes)), frame);
}

}  // namespace
}  // namespace halvaris::media
