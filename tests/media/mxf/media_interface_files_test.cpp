// The C interface of media.h on files FFmpeg makes: MXF frames in any order equal the raw DIF
// they were wrapped from, and the sound of any frame range is the same samples as a whole read,
// which equals FFmpeg's own extraction.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "ffmpeg_files.h"
#include "halvaris/media.h"

namespace halvaris::media {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test_support::FfmpegFiles;
using test_support::ReadBytes;

struct Closer {
  void operator()(HalvarisMedia* media) const { halvaris_media_close(media); }
};
using MediaHandle = std::unique_ptr<HalvarisMedia, Closer>;

MediaHandle Open(const std::string& path, const HalvarisMediaSettings* settings = nullptr) {
  HalvarisMedia* media = nullptr;
  EXPECT_EQ(halvaris_media_open(path.c_str(), settings, &media), HALVARIS_MEDIA_OK)
      << halvaris_media_last_error(nullptr);
  return MediaHandle(media);
}

Bytes Sound(HalvarisMedia* media, std::int64_t first, std::int64_t count, int bytesPerSample) {
  std::int64_t samples = 0;
  EXPECT_EQ(halvaris_media_read_sound(media, first, count, nullptr, 0, &samples), HALVARIS_MEDIA_OK)
      << halvaris_media_last_error(media);
  Bytes sound(static_cast<std::size_t>(samples * bytesPerSample));
  std::int64_t written = 0;
  if (samples > 0) {
    EXPECT_EQ(
        halvaris_media_read_sound(media, first, count, sound.data(), sound.size() - 1, &written),
        HALVARIS_MEDIA_ERROR_BUFFER_TOO_SMALL);
  }
  EXPECT_EQ(halvaris_media_read_sound(media, first, count, sound.data(), sound.size(), &written),
            HALVARIS_MEDIA_OK);
  EXPECT_EQ(written, samples);
  return sound;
}

TEST(MediaInterfaceOnFfmpegFiles, MxfFramesInAnyOrderEqualTheRawDifTheyWrap) {
  FfmpegFiles& files = FfmpegFiles::Get();
  for (int system : {1, 4}) {
    const Bytes raw = ReadBytes(files.VideoDif(system));
    const std::size_t frameBytes = raw.size() / 6;
    for (const std::string& path : {files.Op1a(system), files.OpAtomVideo(system)}) {
      SCOPED_TRACE(path);
      const MediaHandle media = Open(path);
      HalvarisMediaInfo info;
      ASSERT_EQ(halvaris_media_info(media.get(), &info), HALVARIS_MEDIA_OK);
      EXPECT_EQ(info.container, HALVARIS_MEDIA_CONTAINER_MXF);
      EXPECT_EQ(info.system, system);
      ASSERT_EQ(info.frameCount, 6);
      Bytes frame(info.frameBytes);
      for (std::int64_t index : {5, 0, 3, 2, 4, 1, 0}) {
        std::size_t bytes = 0;
        ASSERT_EQ(halvaris_media_read_frame(media.get(), index, frame.data(), frame.size(), &bytes),
                  HALVARIS_MEDIA_OK)
            << halvaris_media_last_error(media.get());
        const auto at = raw.begin() + static_cast<std::ptrdiff_t>(index * frameBytes);
        EXPECT_TRUE(bytes == frameBytes && std::equal(frame.begin(), frame.end(), at)) << index;
      }
    }
  }
}

TEST(MediaInterfaceOnFfmpegFiles, SoundOfAnyRangeEqualsTheWholeReadAndFfmpegs) {
  FfmpegFiles& files = FfmpegFiles::Get();
  for (const std::string& path :
       {files.Op1a(1), files.Op1a(3, 8, "pcm_s24le"), files.SoundDif(1)}) {
    SCOPED_TRACE(path);
    const MediaHandle media = Open(path);
    HalvarisMediaInfo info;
    ASSERT_EQ(halvaris_media_info(media.get(), &info), HALVARIS_MEDIA_OK);
    ASSERT_GT(info.soundChannels, 0);
    EXPECT_EQ(info.soundRate, 48000);
    const int bytesPerSample = info.soundChannels * info.soundBits / 8;
    const std::int64_t frames = info.frameCount;
    ASSERT_GE(frames, 3);
    const Bytes whole = Sound(media.get(), 0, frames, bytesPerSample);
    if (info.container == HALVARIS_MEDIA_CONTAINER_MXF) {
      EXPECT_EQ(whole,
                files.FfmpegSound(path, "0:a:0", info.soundBits == 24 ? "pcm_s24le" : "pcm_s16le"));
    }
    // Backwards and out of order: the same samples, frame by frame.
    const std::int64_t split = frames / 2 + 1;
    const Bytes last = Sound(media.get(), split, frames - split, bytesPerSample);
    const Bytes middle = Sound(media.get(), 1, split - 1, bytesPerSample);
    const Bytes first = Sound(media.get(), 0, 1, bytesPerSample);
    EXPECT_FALSE(first.empty());
    Bytes joined = first;
    for (const Bytes* part : {&middle, &last})
      joined.insert(joined.end(), part->begin(), part->end());
    EXPECT_TRUE(joined == whole) << joined.size() << " bytes against " << whole.size();
    std::int64_t samples = 0;
    EXPECT_EQ(halvaris_media_read_sound(media.get(), frames - 1, 2, nullptr, 0, &samples),
              HALVARIS_MEDIA_ERROR_END_OF_INPUT);
  }
}

}  // namespace
}  // namespace halvaris::media
