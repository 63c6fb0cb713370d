// Damaged and truncated MXF files: what the video needs must be sound, anything else is passed
// over with a warning, and nothing is read or allocated beyond what the file holds.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "ffmpeg_files.h"
#include "input_file.h"
#include "media_error.h"
#include "mxf/mxf_frame_source.h"

namespace halvaris::media {
namespace {

using test_support::FfmpegFiles;
using test_support::ReadBytes;
using ::testing::Contains;
using ::testing::HasSubstr;

using Bytes = std::vector<std::uint8_t>;

OpenedInput OpenBytes(Bytes bytes) {
  auto source =
      std::make_unique<ByteSource>(std::make_unique<InputFile>("clip.mxf", std::move(bytes)));
  return OpenMxfInput(std::make_unique<mxf::MxfFile>(std::move(source)), 0);
}

// Reads every frame; a frame that cannot be read is an empty entry, its error in `errors`.
std::vector<Bytes> ReadFrames(FrameReader& source, std::vector<std::string>* errors = nullptr) {
  std::vector<Bytes> frames;
  for (std::int64_t i = 0; i < source.FrameCount(); ++i) {
    Bytes frame;
    try {
      source.SkipTo(i);
      if (!source.ReadFrame(frame)) break;
    } catch (const MediaError& error) {
      frame.clear();
      if (errors != nullptr) errors->push_back(error.what());
    }
    frames.push_back(frame);
  }
  return frames;
}

// Offset of the value of local tag `tag` in the first set with key bytes 13..15 `setKey` at or
// after `from`.
std::size_t PropertyOffset(const Bytes& file, std::uint32_t setKey, std::uint16_t tag) {
  const std::uint8_t prefix[13] = {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x53, 0x01,
                                   0x01, 0x0d, 0x01, 0x01, 0x01, 0x01};
  for (auto at = std::search(file.begin(), file.end(), prefix, prefix + 13); at != file.end();
       at = std::search(at + 1, file.end(), prefix, prefix + 13)) {
    const std::size_t key = static_cast<std::size_t>(at - file.begin());
    if ((static_cast<std::uint32_t>(file[key + 13]) << 16 | file[key + 14] << 8 | file[key + 15]) !=
        setKey)
      continue;
    // A four-byte BER length follows the keys FFmpeg writes for sets; search the set's bytes.
    for (std::size_t p = key + 16; p + 4 < std::min(file.size(), key + 400); ++p) {
      if (file[p] == tag >> 8 && file[p + 1] == (tag & 0xff)) return p + 4;
    }
  }
  ADD_FAILURE() << "property " << std::hex << tag << " not found";
  return 0;
}

class DamagedMxf : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    FfmpegFiles& files = FfmpegFiles::Get();
    op1a_ = ReadBytes(files.Op1a(4));
    atom_ = ReadBytes(files.OpAtomVideo(4));
    OpenedInput clean = OpenBytes(op1a_);
    frames_ = ReadFrames(*clean.source);
    ASSERT_EQ(frames_.size(), 6u);
  }

  static std::size_t FrameOffset(const Bytes& file, int index) {
    // Frames are found by their content: FFmpeg's frames differ from each other.
    const auto at = std::search(file.begin(), file.end(), frames_[index].begin(),
                                frames_[index].begin() + 4000);
    return static_cast<std::size_t>(at - file.begin());
  }

  static Bytes op1a_;
  static Bytes atom_;
  static std::vector<Bytes> frames_;
};
Bytes DamagedMxf::op1a_;
Bytes DamagedMxf::atom_;
std::vector<Bytes> DamagedMxf::frames_;

TEST_F(DamagedMxf, CutInsideAFrameKeepsTheFramesBeforeItAndNamesTheCutFrame) {
  for (const Bytes* file : {&op1a_, &atom_}) {
    Bytes cut(file->begin(), file->begin() + FrameOffset(*file, 3) + 1000);
    OpenedInput opened = OpenBytes(cut);
    std::vector<std::string> errors;
    const auto frames = ReadFrames(*opened.source, &errors);
    ASSERT_GE(frames.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(frames[i], frames_[i]) << i;
    if (file == &op1a_) {
      // The index counts the cut frame; reading it says what to do.
      ASSERT_EQ(errors.size(), 1u);
      EXPECT_THAT(errors[0], HasSubstr("frame 3 of the MXF video"));
      EXPECT_THAT(errors[0], ::testing::Not(HasSubstr("--frames")));
      OpenedInput again = OpenBytes(cut);
      again.source->SkipTo(3);
      Bytes frame;
      try {
        again.source->ReadFrame(frame);
        ADD_FAILURE() << "frame 3 read";
      } catch (const MediaError& error) {
        EXPECT_EQ(error.ReadableFrames(), 3);
      }
    } else {
      EXPECT_EQ(frames.size(), 3u);
      EXPECT_THAT(opened.warnings, Contains(HasSubstr("cut short")));
    }
  }
}

TEST_F(DamagedMxf, EveryCutGivesFramesOrOneLineErrorsNeverACrash) {
  for (const Bytes* file : {&op1a_, &atom_}) {
    for (std::size_t size = 0; size < file->size(); size += file->size() / 97 + 1) {
      try {
        OpenedInput opened = OpenBytes(Bytes(file->begin(), file->begin() + size));
        std::vector<std::string> errors;
        const auto frames = ReadFrames(*opened.source, &errors);
        for (std::size_t i = 0; i < frames.size(); ++i) {
          if (!frames[i].empty()) {
            EXPECT_EQ(frames[i], frames_[i]) << "cut at " << size;
          }
        }
      } catch (const MediaError& error) {
        EXPECT_EQ(std::string(error.what()).find('\n'), std::string::npos);
      }
    }
  }
}

TEST_F(DamagedMxf, AnIndexThatDisagreesWithTheEssenceIsPassedOverForAWalk) {
  Bytes file = op1a_;
  const std::uint8_t indexKey[16] = {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x53, 0x01, 0x01,
                                     0x0d, 0x01, 0x02, 0x01, 0x01, 0x10, 0x01, 0x00};
  const auto segment = std::search(file.begin(), file.end(), indexKey, indexKey + 16);
  ASSERT_NE(segment, file.end());
  const std::uint8_t editUnitByteCount[4] = {0x3f, 0x05, 0x00, 0x04};
  auto property = std::search(segment, segment + 200, editUnitByteCount, editUnitByteCount + 4);
  ASSERT_NE(property, segment + 200);
  property[6] ^= 0x10;  // an edit unit size 4096 bytes off
  OpenedInput opened = OpenBytes(file);
  EXPECT_THAT(opened.warnings, Contains(HasSubstr("index table does not match the essence")));
  EXPECT_THAT(opened.description, ::testing::Not(HasSubstr("index table")));
  EXPECT_EQ(ReadFrames(*opened.source), frames_);
}

TEST_F(DamagedMxf, DescriptorDisagreementsAreWarningsAndTheFramesDecide) {
  Bytes file = op1a_;
  const std::size_t width = PropertyOffset(file, 0x012800, 0x3203);  // CDCI stored width
  file[width + 2] = 0x04;
  file[width + 3] = 0x00;
  const std::size_t aspect = PropertyOffset(file, 0x012800, 0x320e);
  file[aspect + 3] = 4;
  file[aspect + 7] = 3;
  OpenedInput opened = OpenBytes(file);
  EXPECT_EQ(opened.system, 4);
  EXPECT_THAT(opened.warnings, Contains(HasSubstr("picture of 1024x720")));
  EXPECT_THAT(opened.warnings, Contains(HasSubstr("aspect ratio of 4:3")));
  EXPECT_EQ(ReadFrames(*opened.source), frames_);
}

TEST_F(DamagedMxf, ADamagedSetOrEssenceKlvIsPassedOverWithAWarning) {
  // A property length running past the end of its set, in the identification set.
  Bytes file = op1a_;
  const std::size_t product = PropertyOffset(file, 0x013000, 0x3c01);
  file[product - 2] = 0xff;
  OpenedInput opened = OpenBytes(file);
  EXPECT_THAT(opened.warnings, Contains(HasSubstr("property running past its end")));
  EXPECT_EQ(ReadFrames(*opened.source), frames_);

  // Without an index, a broken KLV length in the essence ends the walk there.
  Bytes atom = atom_;
  const std::size_t element = FrameOffset(atom, 0) - 25;  // key and 9-byte length
  atom[element + 16] = 0x8f;                              // a BER length of 15 bytes
  try {
    OpenBytes(atom);
    FAIL() << "a file whose only video element is damaged opened";
  } catch (const MediaError& error) {
    EXPECT_THAT(error.what(), HasSubstr("holds no DV-DIF video"));
  }
}

TEST(MxfStructure, FilesThatAreNotMxfOrHaveNoHeaderMetadataAreRefused) {
  const Bytes empty;
  EXPECT_THROW(OpenBytes(empty), MediaError);
  Bytes pack(20 + 88, 0);
  const std::uint8_t key[16] = {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x05, 0x01, 0x01,
                                0x0d, 0x01, 0x02, 0x01, 0x01, 0x02, 0x04, 0x00};
  std::copy(key, key + 16, pack.begin());
  pack[16] = 0x83;
  pack[19] = 88;
  EXPECT_TRUE(mxf::LooksLikeMxf(pack.data(), pack.size()));
  try {
    OpenBytes(pack);
    FAIL() << "a lone partition pack opened";
  } catch (const MediaError& error) {
    EXPECT_THAT(error.what(), HasSubstr("no header metadata"));
  }
}

}  // namespace
}  // namespace halvaris::media
