#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "frame_pipeline.h"
#include "test_frames.h"
#include "tool_error.h"

namespace halvaris::decode_tool {
namespace {

// Records the first byte of every picture that reaches it; fails at frame `failAt`.
class RecordingWriter : public PictureWriter {
 public:
  explicit RecordingWriter(std::int64_t failAt = -1) : failAt_(failAt) {}
  void Write(const std::uint8_t* picture, std::int64_t frameNumber) override {
    if (frameNumber == failAt_) throw ToolError("disk full");
    written.push_back({frameNumber, picture[0]});
  }
  void Finish() override { finished = true; }

  std::vector<std::pair<std::int64_t, std::uint8_t>> written;
  bool finished = false;

 private:
  std::int64_t failAt_;
};

// A stand-in decoder: the picture's first byte is the frame's first byte; the frame's second byte
// is how long decoding takes (in milliseconds, so that frames finish out of order) and its third
// the result.
int FakeDecode(HalvarisDecoder*, int, const std::uint8_t* frame, std::size_t, std::uint8_t* picture,
               std::ptrdiff_t, std::size_t) {
  std::this_thread::sleep_for(std::chrono::milliseconds(frame[1]));
  picture[0] = frame[0];
  return -static_cast<int>(frame[2]);
}

std::vector<std::uint8_t> FakeFrame(int id, int milliseconds, int result = HALVARIS_OK) {
  return {static_cast<std::uint8_t>(id), static_cast<std::uint8_t>(milliseconds),
          static_cast<std::uint8_t>(-result)};
}

TEST(FramePipeline, FramesThatFinishOutOfOrderAreWrittenInInputOrder) {
  RecordingWriter writer;
  FramePipeline pipeline(writer, 1, 3, nullptr, nullptr, FakeDecode);
  for (int i = 0; i < 12; ++i) {
    std::vector<std::uint8_t> frame = FakeFrame(100 + i, (i * 7) % 5 * 3);
    pipeline.Decode(frame, 50 + i);
  }
  pipeline.Finish();
  EXPECT_TRUE(writer.finished);
  ASSERT_EQ(writer.written.size(), 12u);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(writer.written[i].first, 50 + i);
    EXPECT_EQ(writer.written[i].second, 100 + i);
  }
}

TEST(FramePipeline, AFrameNotWhollyDecodedIsNeverWrittenAndStopsEverythingAfterIt) {
  RecordingWriter writer;
  std::string message;
  try {
    FramePipeline pipeline(writer, 1, 2, nullptr, nullptr, FakeDecode);
    for (int i = 0; i < 40; ++i) {
      // Frame 3 is refused at once, while frame 2, whose decoder could not finish it, still
      // decodes: frame 2 is the first that fails.
      const int result = i == 3   ? HALVARIS_ERROR_PICTURE_TOO_SMALL
                         : i == 2 ? HALVARIS_ERROR_INCOMPLETE
                                  : HALVARIS_OK;
      std::vector<std::uint8_t> frame = FakeFrame(i, i == 2 ? 20 : 1, result);
      pipeline.Decode(frame, i);
    }
    pipeline.Finish();
  } catch (const ToolError& error) {
    message = error.what();
  }
  EXPECT_EQ(message, std::string("frame 2 could not be decoded: ") +
                         halvaris_result_text(HALVARIS_ERROR_INCOMPLETE) +
                         " (see the decoder's message above)");
  ASSERT_EQ(writer.written.size(), 2u);
  EXPECT_EQ(writer.written[1].first, 1);
  EXPECT_FALSE(writer.finished);
}

TEST(FramePipeline, AWriteErrorReachesTheReadingThreadAndNothingIsFinished) {
  RecordingWriter writer(1);
  bool thrown = false;
  try {
    FramePipeline pipeline(writer, 1, 2, nullptr, nullptr, FakeDecode);
    for (int i = 0; i < 100; ++i) {
      std::vector<std::uint8_t> frame = FakeFrame(i, 0);
      pipeline.Decode(frame, i);
    }
    pipeline.Finish();
  } catch (const ToolError& error) {
    thrown = true;
    EXPECT_STREQ(error.what(), "disk full");
  }
  EXPECT_TRUE(thrown);
  EXPECT_FALSE(writer.finished);
  EXPECT_EQ(writer.written.size(), 1u);
}

TEST(FramePipeline, LeavingWithoutFinishDropsTheRest) {
  RecordingWriter writer;
  {
    FramePipeline pipeline(writer, 1, 2, nullptr, nullptr, FakeDecode);
    for (int i = 0; i < 4; ++i) {
      std::vector<std::uint8_t> frame = FakeFrame(i, 30);
      pipeline.Decode(frame, i);
    }
  }
  EXPECT_FALSE(writer.finished);
  EXPECT_LT(writer.written.size(), 4u);
}

// Real frames on several decoders give the pictures of one decoder, each with its own frame.
class HashingWriter : public PictureWriter {
 public:
  explicit HashingWriter(std::size_t bytes) : bytes_(bytes) {}
  void Write(const std::uint8_t* picture, std::int64_t) override {
    pictures.emplace_back(picture, picture + bytes_);
  }
  void Finish() override {}
  std::vector<std::vector<std::uint8_t>> pictures;

 private:
  std::size_t bytes_;
};

TEST(FramePipeline, RealFramesOnSeveralDecodersGiveTheOneDecoderPictures) {
  const std::vector<std::uint8_t> plain = testing::ReadTestFrame(3, "testsrc2");
  const std::vector<std::uint8_t> detailed = testing::ReadTestFrame(3, "detailed");
  ASSERT_FALSE(plain.empty());
  ASSERT_FALSE(detailed.empty());
  HashingWriter writer(PictureBytes(3));
  FramePipeline pipeline(writer, 3, 3, nullptr, nullptr);
  const int kFrames = 7;
  for (int i = 0; i < kFrames; ++i) {
    std::vector<std::uint8_t> frame = i % 3 == 1 ? plain : detailed;
    const std::uint8_t* handedOver = frame.data();
    pipeline.Decode(frame, i);
    // The pipeline keeps the bytes it was given and hands back a buffer of its own.
    EXPECT_NE(frame.data(), handedOver);
  }
  pipeline.Finish();
  const std::vector<std::uint8_t> plainPicture = halvaris::testing::DecodePicture(plain, 3, 1);
  const std::vector<std::uint8_t> detailedPicture =
      halvaris::testing::DecodePicture(detailed, 3, 1);
  ASSERT_EQ(writer.pictures.size(), static_cast<std::size_t>(kFrames));
  for (int i = 0; i < kFrames; ++i) {
    EXPECT_TRUE(writer.pictures[i] == (i % 3 == 1 ? plainPicture : detailedPicture)) << i;
  }
}

}  // namespace
}  // namespace halvaris::decode_tool
