#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "frame_source.h"
#include "media_error.h"
#include "system_detection.h"
#include "test_files.h"

namespace halvaris::media {
namespace {

using test_support::ScratchFolder;
using test_support::TestFrame;
using test_support::WriteBytes;
using ::testing::HasSubstr;
using ::testing::Not;

// Offset of byte `index` of pack `pack` in video auxiliary block `block` (3..5).
constexpr std::size_t PackByte(int block, int pack, int index) {
  return static_cast<std::size_t>(block) * 80 + 3 + 5 * static_cast<std::size_t>(pack) + index;
}

// Blanks every pack of the video auxiliary blocks, as a stream without them would have.
void RemovePacks(std::vector<std::uint8_t>& frame) {
  for (int block = 3; block <= 5; ++block) {
    for (int pack = 0; pack < 15; ++pack) frame[PackByte(block, pack, 0)] = 0xff;
  }
}

TEST(ReadStreamFacts, FindsEverySystemInFfmpegFrames) {
  for (int system = 1; system <= 4; ++system) {
    for (const char* source : {"testsrc2", "detailed"}) {
      const auto frame = TestFrame(system, source);
      const StreamFacts facts = ReadStreamFacts(frame.data(), frame.size());
      EXPECT_TRUE(facts.difHeader);
      EXPECT_EQ(facts.system, system) << source;
    }
  }
}

TEST(ReadStreamFacts, FieldOrderComesFromTheSourceControlPack) {
  auto frame = TestFrame(1);
  // FFmpeg marks its 1080-line frames made from progressive pictures "field 2 first".
  EXPECT_EQ(ReadStreamFacts(frame.data(), frame.size()).fieldOrder, FieldOrder::BottomFirst);
  ASSERT_EQ(frame[PackByte(3, 1, 0)], 0x61);
  frame[PackByte(3, 1, 3)] |= 0x40;  // FS: field 1 first
  EXPECT_EQ(ReadStreamFacts(frame.data(), frame.size()).fieldOrder, FieldOrder::TopFirst);
  frame[PackByte(3, 1, 3)] &= 0x7f;  // FF clear: one field shown twice, no order to tell
  EXPECT_EQ(ReadStreamFacts(frame.data(), frame.size()).fieldOrder, FieldOrder::Unknown);
}

TEST(ReadStreamFacts, RatesAndLinesFollowTheSourcePack) {
  auto frame = TestFrame(1);
  ASSERT_EQ(frame[PackByte(3, 0, 0)], 0x60);
  frame[PackByte(3, 0, 3)] |= 0x20;  // 50 Hz
  EXPECT_EQ(ReadStreamFacts(frame.data(), frame.size()).system, 3);
  frame[PackByte(3, 0, 3)] = static_cast<std::uint8_t>((frame[PackByte(3, 0, 3)] & 0xe0) | 0x18);
  EXPECT_EQ(ReadStreamFacts(frame.data(), frame.size()).system, 4);
  frame[PackByte(3, 0, 3)] &= 0xe0;  // STYPE 0: standard-definition DV, not ours
  const StreamFacts facts = ReadStreamFacts(frame.data(), frame.size());
  EXPECT_TRUE(facts.difHeader);
  EXPECT_EQ(facts.system, 0);
}

TEST(ReadStreamFacts, WithoutASourcePackTheSystemIsNotTold) {
  auto frame = TestFrame(2);
  RemovePacks(frame);
  EXPECT_EQ(ReadStreamFacts(frame.data(), frame.size()).system, 0);
  EXPECT_EQ(ReadStreamFacts(frame.data(), 100).system, 0);  // cut before the auxiliary blocks
  const std::vector<std::uint8_t> text(480, 'x');
  EXPECT_FALSE(ReadStreamFacts(text.data(), text.size()).difHeader);
}

TEST(OpenInput, RawStreamCountsItsPartialLastFrameAndSkips) {
  ScratchFolder scratch;
  const auto first = TestFrame(2, "testsrc2");
  const auto second = TestFrame(2, "detailed");
  std::vector<std::uint8_t> stream = first;
  stream.insert(stream.end(), second.begin(), second.end());
  stream.insert(stream.end(), first.begin(), first.begin() + 1000);
  WriteBytes(scratch / "clip.dif", stream);

  OpenedInput input = OpenInput(scratch / "clip.dif", 0);
  EXPECT_EQ(input.system, 2);
  EXPECT_EQ(input.source->FrameCount(), 3);
  input.source->SkipTo(1);
  std::vector<std::uint8_t> frame;
  ASSERT_TRUE(input.source->ReadFrame(frame));
  EXPECT_EQ(frame, second);
  ASSERT_TRUE(input.source->ReadFrame(frame));
  EXPECT_EQ(frame.size(), 1000u);
  EXPECT_FALSE(input.source->ReadFrame(frame));
}

TEST(OpenInput, RefusesWhatIsNeitherKindUnlessTheSystemIsGiven) {
  ScratchFolder scratch;
  WriteBytes(scratch / "notes.txt", std::vector<std::uint8_t>(5000, 'x'));
  WriteBytes(scratch / "empty.dif", {});
  try {
    OpenInput(scratch / "notes.txt", 0);
    ADD_FAILURE() << "no error";
  } catch (const MediaError& error) {
    EXPECT_THAT(error.what(), HasSubstr("is neither a DIF stream nor a QuickTime movie"));
  }
  const OpenedInput forced = OpenInput(scratch / "notes.txt", 1);
  ASSERT_EQ(forced.warnings.size(), 1u);
  EXPECT_THAT(forced.warnings[0], HasSubstr("does not begin with a DIF header block"));
  EXPECT_THROW(OpenInput(scratch / "empty.dif", 1), MediaError);
  EXPECT_THROW(OpenInput(scratch / "missing.dif", 1), MediaError);
}

TEST(OpenInput, AsksForTheSystemWhenTheHeaderDataDoNotSay) {
  ScratchFolder scratch;
  auto frame = TestFrame(1);
  RemovePacks(frame);
  WriteBytes(scratch / "clip.dif", frame);
  try {
    OpenInput(scratch / "clip.dif", 0);
    ADD_FAILURE() << "no error";
  } catch (const MediaError& error) {
    EXPECT_EQ(error.Code(), MediaErrorCode::UnknownSystem);
    EXPECT_THAT(error.what(), HasSubstr("do not name its video system"));
    EXPECT_THAT(error.what(), Not(HasSubstr("--")));  // the advice is the program's
  }
  const OpenedInput forced = OpenInput(scratch / "clip.dif", 4);  // the caller wins over the stream
  EXPECT_EQ(forced.system, 4);
  EXPECT_TRUE(forced.systemForced);
}

TEST(OpenInput, OtherKindsOfDvAreNamedRatherThanAskedForASystem) {
  ScratchFolder scratch;
  const std::pair<int, const char*> kinds[] = {{0x00, "standard-definition DV"},
                                               {0x04, "DVCPRO50 (50 Mb/s)"}};
  for (const auto& [sourceType, kind] : kinds) {
    auto frame = TestFrame(1);
    ASSERT_EQ(frame[PackByte(3, 0, 0)], 0x60);
    frame[PackByte(3, 0, 3)] =
        static_cast<std::uint8_t>((frame[PackByte(3, 0, 3)] & 0xe0) | sourceType);
    WriteBytes(scratch / "clip.dif", frame);
    try {
      OpenInput(scratch / "clip.dif", 0);
      ADD_FAILURE() << "no error";
    } catch (const MediaError& error) {
      EXPECT_THAT(error.what(), HasSubstr(std::string(kind)));
      EXPECT_THAT(error.what(), HasSubstr("not DVCPRO HD"));
      EXPECT_THAT(error.what(), ::testing::Not(HasSubstr("--system")));
    }
    const OpenedInput forced = OpenInput(scratch / "clip.dif", 1);
    ASSERT_EQ(forced.warnings.size(), 1u);
    EXPECT_THAT(forced.warnings[0],
                HasSubstr("not DVCPRO HD; decoding it as system 1 all the same"));
  }
}

}  // namespace
}  // namespace halvaris::media
