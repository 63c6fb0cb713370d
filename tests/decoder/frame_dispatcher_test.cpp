#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "frame_builder.h"
#include "frame_dispatcher.h"
#include "halvaris/halvaris.h"
#include "test_hooks.h"

namespace halvaris {
namespace {

using testing::DecodePicture;

std::vector<std::uint8_t> Frame(VideoSystem system, const char* source = "detailed") {
  return testing::ReadTestFrame(system, source);
}

std::ptrdiff_t PitchOf(VideoSystem system) {
  return 2 * GeometryOf(system).width;
}

TEST(WorkShares, SplitEvenlyAndCoverEverySlotOnce) {
  EXPECT_EQ(ShareOf(0, 3, 270).lastSegment, 89);
  EXPECT_EQ(ShareOf(1, 3, 270).firstSegment, 90);
  EXPECT_EQ(ShareOf(2, 3, 270).lastSegment, 269);
  const int system3[4][2] = {{0, 73}, {74, 147}, {148, 221}, {222, 296}};
  const int extra[4][2] = {{297, 302}, {303, 309}, {310, 316}, {317, 323}};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(ShareOf(k, 4, 297).firstSegment, system3[k][0]);
    EXPECT_EQ(ShareOf(k, 4, 297).lastSegment, system3[k][1]);
    EXPECT_EQ(ShareOf(k, 4, 27, 297).firstSegment, extra[k][0]);
    EXPECT_EQ(ShareOf(k, 4, 27, 297).lastSegment, extra[k][1]);
  }
  for (int workers = 1; workers <= 8; ++workers) {
    int next = 297;
    for (int k = 0; k < workers; ++k) {
      const WorkShare share = ShareOf(k, workers, 27, 297);
      EXPECT_EQ(share.firstSegment, next);
      const int size = share.lastSegment - share.firstSegment + 1;
      EXPECT_GE(size, 27 / workers);
      EXPECT_LE(size, 27 / workers + 1);
      next = share.lastSegment + 1;
    }
    EXPECT_EQ(next, 324);
  }
}

TEST(FrameDispatcher, AnyNumberOfWorkersAndEitherThreadingGiveTheSameBytes) {
  for (VideoSystem system : {1, 2, 3, 4}) {
    SCOPED_TRACE(system);
    const std::vector<std::uint8_t> frame = Frame(system);
    const std::vector<std::uint8_t> reference = DecodePicture(frame, system, 1);
    for (ThreadingMode mode : {ThreadingMode::Pool, ThreadingMode::PerWaveThreads}) {
      for (int workers = 1; workers <= 8; ++workers) {
        FrameDispatcher dispatcher(workers, mode);
        std::vector<std::uint8_t> picture(reference.size(), 0xFF);
        for (int repeat = 0; repeat < 2; ++repeat) {
          ASSERT_EQ(dispatcher.DecodeFrame(picture.data(), PitchOf(system), picture.size(),
                                           frame.data(), frame.size(), system),
                    HALVARIS_OK);
          ASSERT_EQ(picture, reference) << workers << " workers";
        }
      }
    }
  }
}

TEST(FrameDispatcher, EveryPictureByteIsWritten) {
  for (VideoSystem system : {1, 2, 3, 4}) {
    const std::vector<std::uint8_t> frame = Frame(system, "testsrc2");
    std::vector<std::uint8_t> zeros(PictureBytes(system), 0x00), ones(PictureBytes(system), 0xFF);
    FrameDispatcher dispatcher(3);
    dispatcher.DecodeFrame(zeros.data(), PitchOf(system), zeros.size(), frame.data(), frame.size(),
                           system);
    dispatcher.DecodeFrame(ones.data(), PitchOf(system), ones.size(), frame.data(), frame.size(),
                           system);
    EXPECT_EQ(zeros, ones) << "system " << system;
  }
}

TEST(FrameDispatcher, ShortFramesDecodeAsIfZeroFilled) {
  for (VideoSystem system : {1, 3, 4}) {
    const std::vector<std::uint8_t> whole = Frame(system);
    std::vector<std::uint8_t> padded = whole;
    const std::size_t kept = whole.size() / 3 + 17;
    std::fill(padded.begin() + static_cast<std::ptrdiff_t>(kept), padded.end(), 0);
    const std::vector<std::uint8_t> truncated(whole.begin(),
                                              whole.begin() + static_cast<std::ptrdiff_t>(kept));
    EXPECT_EQ(DecodePicture(truncated, system), DecodePicture(padded, system));
  }
  // Nothing at all still gives a picture.
  std::vector<std::uint8_t> picture(PictureBytes(1));
  FrameDispatcher dispatcher(2);
  EXPECT_EQ(dispatcher.DecodeFrame(picture.data(), PitchOf(1), picture.size(), nullptr, 0, 1),
            HALVARIS_OK);
}

TEST(FrameDispatcher, RefusesPicturesSmallerThanTheCodedSize) {
  const std::vector<std::uint8_t> frame = Frame(1);
  FrameDispatcher dispatcher(2);
  std::vector<std::uint8_t> picture(PictureBytes(1), 0xAB);
  EXPECT_EQ(dispatcher.DecodeFrame(picture.data(), 2 * 1279, picture.size(), frame.data(),
                                   frame.size(), 1),
            HALVARIS_ERROR_PICTURE_TOO_SMALL);
  EXPECT_EQ(dispatcher.DecodeFrame(picture.data(), 2 * 1280, 2560 * 1079 + 2559, frame.data(),
                                   frame.size(), 1),
            HALVARIS_ERROR_PICTURE_TOO_SMALL);
  // Bottom-up pictures are not written at all, whatever their size.
  EXPECT_EQ(dispatcher.DecodeFrame(picture.data(), -2 * 1280, picture.size(), frame.data(),
                                   frame.size(), 1),
            HALVARIS_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(dispatcher.DecodeFrame(picture.data(), 2 * 1280, picture.size(), frame.data(),
                                   frame.size(), 5),
            HALVARIS_ERROR_INVALID_ARGUMENT);
  EXPECT_TRUE(
      std::all_of(picture.begin(), picture.end(), [](std::uint8_t b) { return b == 0xAB; }));
}

TEST(FrameDispatcher, WiderAndTallerPicturesGetTheCodedPictureTopLeft) {
  const std::vector<std::uint8_t> frame = Frame(1);
  const std::vector<std::uint8_t> coded = DecodePicture(frame, 1);
  const int width = 1920, rows = 1088;
  std::vector<std::uint8_t> picture(static_cast<std::size_t>(width) * rows * 2, 0x11);
  FrameDispatcher dispatcher(2);
  ASSERT_EQ(dispatcher.DecodeFrame(picture.data(), 2 * width, picture.size(), frame.data(),
                                   frame.size(), 1),
            HALVARIS_OK);
  for (int line = 0; line < rows; ++line) {
    const std::uint8_t* row = picture.data() + static_cast<std::size_t>(line) * width * 2;
    if (line < 1080) {
      ASSERT_TRUE(
          std::equal(row, row + 2560, coded.begin() + static_cast<std::ptrdiff_t>(line) * 2560));
    }
    const std::uint8_t* untouched = line < 1080 ? row + 2560 : row;
    ASSERT_TRUE(std::all_of(untouched, row + width * 2, [](std::uint8_t b) { return b == 0x11; }));
  }
}

TEST(FrameDispatcher, UnreadSequencesAndStatusBitsChangeNothing) {
  // System 3 never reads the twelfth sequence of channels 1..3, system 4 the last two of each.
  const struct {
    VideoSystem system;
    std::vector<int> sequences;
  } cases[] = {{3, {23, 35, 47}}, {4, {10, 11, 22, 23}}};
  for (const auto& test : cases) {
    const std::vector<std::uint8_t> frame = Frame(test.system);
    std::vector<std::uint8_t> changed = frame;
    for (int sequence : test.sequences) {
      for (int i = 0; i < 12000; ++i)
        changed[sequence * 12000 + i] ^= static_cast<std::uint8_t>(i * 7 + 1);
    }
    // Status nibbles of every video block set to 15.
    for (std::size_t block = 0; block < changed.size() / 80; ++block) {
      const std::size_t inSequence = block % 150;
      if (inSequence >= 6 && (inSequence - 6) % 16 != 0) changed[block * 80 + 3] |= 0xF0;
    }
    EXPECT_EQ(DecodePicture(frame, test.system), DecodePicture(changed, test.system));
  }
}

TEST(FrameDispatcher, ChannelPairBitChoosesThePictureArrangement) {
  std::vector<std::uint8_t> frame = Frame(2);
  frame[1] = 0x07;
  const std::vector<std::uint8_t> first = DecodePicture(frame, 2);
  frame[1] = 0x03;
  const std::vector<std::uint8_t> second = DecodePicture(frame, 2);
  EXPECT_NE(first, second);
}

TEST(FrameDispatcher, TwelfthSequenceOfChannelZeroFillsTopAndBottomRows) {
  const std::vector<std::uint8_t> frame = Frame(3);
  std::vector<std::uint8_t> changed = frame;
  for (int i = 7 * 80; i < 12000; ++i) changed[11 * 12000 + i] ^= 0x5A;
  const std::vector<std::uint8_t> a = DecodePicture(frame, 3), b = DecodePicture(changed, 3);
  bool topChanged = false, bottomChanged = false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;
    const std::size_t line = i / (1440 * 2);
    ASSERT_TRUE(line < 16 || line >= 1072) << "line " << line;
    (line < 16 ? topChanged : bottomChanged) = true;
  }
  EXPECT_TRUE(topChanged);
  EXPECT_TRUE(bottomChanged);
}

}  // namespace
}  // namespace halvaris

namespace halvaris {
namespace {

std::vector<std::string> messages;
void RecordMessage(void*, const char* text, const char* caption) {
  messages.push_back(std::string(caption) + ": " + text);
}

// A worker that cannot be started is told once, and its share is decoded on the calling thread:
// the picture is the same as when every thread starts.
class ThreadStartFailure : public ::testing::Test {
 protected:
  ThreadStartFailure() { messages.clear(); }
  ~ThreadStartFailure() override { test_hooks::FailThreadStarts(-1); }

  static int Decode(FrameDispatcher& dispatcher, std::vector<std::uint8_t>& picture,
                    const std::vector<std::uint8_t>& frame, VideoSystem system) {
    picture.assign(PictureBytes(system), 0xAB);
    return dispatcher.DecodeFrame(picture.data(), PitchOf(system), picture.size(), frame.data(),
                                  frame.size(), system);
  }
};

TEST_F(ThreadStartFailure, PerWaveThreadsDecodeTheMissingSharesOnTheCallingThread) {
  const std::vector<std::uint8_t> frame = Frame(1, "testsrc2");
  const std::vector<std::uint8_t> reference = DecodePicture(frame, 1);
  FrameDispatcher dispatcher(2, ThreadingMode::PerWaveThreads, RecordMessage);
  std::vector<std::uint8_t> picture;
  test_hooks::FailThreadStarts(5);  // waves of channels 0 and 1, then one worker of channel 2
  EXPECT_EQ(Decode(dispatcher, picture, frame, 1), HALVARIS_OK);
  EXPECT_EQ(messages, std::vector<std::string>{"Halvaris: Could not create Decode thread"});
  EXPECT_EQ(picture, reference);
  EXPECT_EQ(Decode(dispatcher, picture, frame, 1), HALVARIS_OK);
  EXPECT_EQ(picture, reference);
  EXPECT_EQ(messages.size(), 1u);
}

TEST_F(ThreadStartFailure, ExtraWaveOfTheFiftyHertzSystemHasItsOwnMessage) {
  const std::vector<std::uint8_t> frame = Frame(3, "testsrc2");
  FrameDispatcher dispatcher(2, ThreadingMode::PerWaveThreads, RecordMessage);
  std::vector<std::uint8_t> picture;
  test_hooks::FailThreadStarts(8);  // four channel waves of two workers
  EXPECT_EQ(Decode(dispatcher, picture, frame, 3), HALVARIS_OK);
  EXPECT_EQ(messages, std::vector<std::string>{"Halvaris: Could not create Decode process"});
  EXPECT_EQ(picture, DecodePicture(frame, 3));
}

TEST_F(ThreadStartFailure, WhenNoThreadCanBeStartedEachFrameIsToldOnceAndDecodedWhole) {
  for (ThreadingMode mode : {ThreadingMode::Pool, ThreadingMode::PerWaveThreads}) {
    for (VideoSystem system : {2, 3}) {
      messages.clear();
      const std::vector<std::uint8_t> frame = Frame(system, "detailed");
      FrameDispatcher dispatcher(8, mode, RecordMessage);
      std::vector<std::uint8_t> picture;
      test_hooks::FailThreadStarts(0, -1);
      for (int repeat = 0; repeat < 2; ++repeat) {
        EXPECT_EQ(Decode(dispatcher, picture, frame, system), HALVARIS_OK);
        EXPECT_EQ(picture, DecodePicture(frame, system)) << "system " << system;
      }
      test_hooks::FailThreadStarts(-1);
      EXPECT_EQ(messages, std::vector<std::string>(2, "Halvaris: Could not create Decode thread"));
    }
  }
}

TEST_F(ThreadStartFailure, PoolThatCannotStartEveryThreadDecodesTheirSharesOnTheCallingThread) {
  const std::vector<std::uint8_t> frame = Frame(2, "testsrc2");
  const std::vector<std::uint8_t> reference = DecodePicture(frame, 2);
  FrameDispatcher dispatcher(3, ThreadingMode::Pool, RecordMessage);
  std::vector<std::uint8_t> picture;
  test_hooks::FailThreadStarts(1);  // the first pool thread starts, the second does not
  EXPECT_EQ(Decode(dispatcher, picture, frame, 2), HALVARIS_OK);
  EXPECT_EQ(messages, std::vector<std::string>{"Halvaris: Could not create Decode thread"});
  EXPECT_EQ(picture, reference);
  // The missing pool thread is started with the next frame.
  EXPECT_EQ(Decode(dispatcher, picture, frame, 2), HALVARIS_OK);
  EXPECT_EQ(picture, reference);
  EXPECT_EQ(messages.size(), 1u);
}

}  // namespace
}  // namespace halvaris
