#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "background_writer.h"
#include "tool_error.h"

namespace halvaris::decode_tool {
namespace {

// Records what reaches it; fails at frame `failAt`.
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

TEST(BackgroundWriter, WritesEveryPictureInOrderThenFinishes) {
  RecordingWriter writer;
  BackgroundWriter output(writer, 16, 2);
  for (std::uint8_t frame = 0; frame < 6; ++frame) {
    output.NextPicture()[0] = static_cast<std::uint8_t>(100 + frame);
    output.Submit(frame);
  }
  output.Finish();
  EXPECT_TRUE(writer.finished);
  ASSERT_EQ(writer.written.size(), 6u);
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(writer.written[i].first, static_cast<std::int64_t>(i));
    EXPECT_EQ(writer.written[i].second, 100 + i);
  }
}

TEST(BackgroundWriter, AWriteErrorReachesTheDecodingThreadAndNothingIsFinished) {
  RecordingWriter writer(1);
  BackgroundWriter output(writer, 16, 2);
  bool thrown = false;
  try {
    for (int frame = 0; frame < 100; ++frame) {
      output.NextPicture();
      output.Submit(frame);
    }
    output.Finish();
  } catch (const ToolError& error) {
    thrown = true;
    EXPECT_STREQ(error.what(), "disk full");
  }
  EXPECT_TRUE(thrown);
  EXPECT_FALSE(writer.finished);
  EXPECT_EQ(writer.written.size(), 1u);
}

TEST(BackgroundWriter, LeavingWithoutFinishDropsTheRest) {
  RecordingWriter writer;
  {
    BackgroundWriter output(writer, 16, 3);
    output.NextPicture();
    output.Submit(0);
  }
  EXPECT_FALSE(writer.finished);
}

}  // namespace
}  // namespace halvaris::decode_tool
