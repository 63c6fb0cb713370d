// What frames say about themselves, on DIF streams FFmpeg makes while the tests run (with a
// timecode and a creation time), and on the same frames with chosen blocks flagged, audio samples
// marked as errors and packs erased; the damage painter and the decode that counts unfinished
// blocks on the same frames.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "halvaris/halvaris.h"
#include "placement_tables.h"
#include "test_frames.h"
#include "video_system.h"

namespace halvaris {
namespace {

struct StreamSource {
  int system;
  const char* size;
  const char* rate;
  const char* timecode;
  int framesPerStoredValue;  // the 720-line systems store one value per pair of frames
};

const StreamSource kSources[4] = {
    {1, "1280x1080", "30000/1001", "01:02:59;27", 1},  // into a minute that drops two
    {2, "960x720", "60000/1001", "01:09:59;56", 2},    // into a tenth minute, which drops none
    {3, "1440x1080", "25", "10:59:59:22", 1},
    {4, "960x720", "50", "23:59:59:46", 2},  // into the next day
};

constexpr int kFrames = 6;

double RateOf(const StreamSource& source) {
  const std::string rate = source.rate;
  const auto slash = rate.find('/');
  return slash == std::string::npos
             ? std::stod(rate)
             : std::stod(rate.substr(0, slash)) / std::stod(rate.substr(slash + 1));
}

// Six frames of a system, with the timecode of its source and a creation time, and two channels of
// sound in the 1080-line systems; made once per test process.
std::vector<std::uint8_t> FfmpegStream(int system) {
  static std::vector<std::uint8_t> streams[4];
  std::vector<std::uint8_t>& stream = streams[system - 1];
  if (!stream.empty()) return stream;
  const StreamSource& source = kSources[system - 1];
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("halvaris-description-" + std::to_string(::getpid()) + "-" +
                                      std::to_string(system) + ".dif");
  const bool sound = system == 1 || system == 3;
  const std::string command =
      std::string(FFMPEG_PROGRAM) +
      " -nostdin -v error -y -f lavfi -i testsrc2=size=" + source.size + ":rate=" + source.rate +
      (sound ? " -f lavfi -i sine=frequency=440:sample_rate=48000 -ac 2 -c:a pcm_s16le" : "") +
      // With sound, a duration rather than a frame count, so that the sound ends with the
      // pictures.
      (sound ? " -t " + std::to_string((kFrames + 0.5) / RateOf(source))
             : " -frames:v " + std::to_string(kFrames)) +
      " -c:v dvvideo -pix_fmt yuv422p -timecode '" + source.timecode +
      "' -metadata creation_time=2021-03-04T05:06:07Z -f dv '" + path.string() + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  stream = testing::ReadBytes(path);
  std::filesystem::remove(path);
  EXPECT_EQ(stream.size(), kFrames * GeometryOf(system).frameBytes);
  return stream;
}

std::vector<std::uint8_t> FrameOf(const std::vector<std::uint8_t>& stream, int system, int index) {
  const std::size_t bytes = GeometryOf(system).frameBytes;
  return std::vector<std::uint8_t>(stream.begin() + index * bytes,
                                   stream.begin() + (index + 1) * bytes);
}

HalvarisFrameDescription Describe(const std::vector<std::uint8_t>& frame, int system) {
  HalvarisFrameDescription description;
  EXPECT_EQ(halvaris_describe_frame(system, frame.data(), frame.size(), &description), HALVARIS_OK);
  return description;
}

// Byte offset of a DIF block in a frame.
std::size_t DifBlock(int sequence, int block) {
  return (static_cast<std::size_t>(sequence) * kDifBlocksPerSequence + block) * kDifBlockBytes;
}

// The timecode `frames` frames after hh:mm:ss:ff at `rate` whole frames per second (no drop-frame
// day wraps here).
struct Clock {
  int hours, minutes, seconds, frames;
};
Clock Advance(Clock clock, int frames, int rate, bool dropFrame) {
  for (int i = 0; i < frames; ++i) {
    if (++clock.frames < rate) continue;
    clock.frames = 0;
    if (++clock.seconds == 60) {
      clock.seconds = 0;
      if (++clock.minutes == 60) {
        clock.minutes = 0;
        clock.hours = (clock.hours + 1) % 24;
      }
      // Drop-frame counting skips frames 0 and 1 at the start of minutes not divisible by 10.
      if (dropFrame && clock.minutes % 10 != 0) clock.frames = 2;
    }
  }
  return clock;
}

TEST(FrameDescription, EveryFrameGivesItsTimecodeAndRecordingTime) {
  for (const StreamSource& source : kSources) {
    SCOPED_TRACE(source.system);
    const std::vector<std::uint8_t> stream = FfmpegStream(source.system);
    ASSERT_FALSE(stream.empty());
    const std::string timecode = source.timecode;
    const bool dropFrame = timecode.find(';') != std::string::npos;
    const int rate = source.system == 3 || source.system == 4 ? 25 : 30;
    const Clock start{std::stoi(timecode.substr(0, 2)), std::stoi(timecode.substr(3, 2)),
                      std::stoi(timecode.substr(6, 2)),
                      std::stoi(timecode.substr(9, 2)) / source.framesPerStoredValue};
    for (int index = 0; index < kFrames; ++index) {
      SCOPED_TRACE(index);
      const HalvarisFrameDescription description =
          Describe(FrameOf(stream, source.system, index), source.system);
      const Clock expected = Advance(start, index / source.framesPerStoredValue, rate, dropFrame);
      EXPECT_EQ(description.complete, 1);
      ASSERT_EQ(description.timecode.present, 1);
      EXPECT_EQ(description.timecode.hours, expected.hours);
      EXPECT_EQ(description.timecode.minutes, expected.minutes);
      EXPECT_EQ(description.timecode.seconds, expected.seconds);
      EXPECT_EQ(description.timecode.frames, expected.frames);
      EXPECT_EQ(description.timecode.dropFrame, dropFrame ? 1 : 0);
      EXPECT_EQ(description.timecode.framePairFlag == -1, source.framesPerStoredValue == 1);

      const HalvarisRecordingTime& recorded = description.videoRecordingTime;
      ASSERT_EQ(recorded.hasDate, 1);
      EXPECT_EQ(recorded.year, 2021);
      EXPECT_EQ(recorded.month, 3);
      EXPECT_EQ(recorded.day, 4);
      ASSERT_EQ(recorded.hasTime, 1);
      EXPECT_EQ(recorded.hours, 5);
      EXPECT_EQ(recorded.minutes, 6);
      EXPECT_EQ(recorded.seconds, 7);
      // FFmpeg writes the recording date and time into the subcode as well.
      const HalvarisRecordingTime& subcode = description.subcodeRecordingTime;
      EXPECT_EQ(subcode.hasDate, 1);
      EXPECT_EQ(subcode.year * 10000 + subcode.month * 100 + subcode.day, 20210304);
      EXPECT_EQ(subcode.hasTime, 1);
      EXPECT_EQ(subcode.hours * 10000 + subcode.minutes * 100 + subcode.seconds, 50607);

      EXPECT_EQ(description.hasSource, 1);
      EXPECT_EQ(description.fiftyHz, source.system >= 3 ? 1 : 0);
      EXPECT_EQ(description.hasSourceControl, 1);
      EXPECT_EQ(description.recordingStart, 0);
      EXPECT_EQ(description.flaggedBlocks, 0u);
      EXPECT_EQ(description.videoBlocks,
                static_cast<std::uint32_t>(source.system == 3 ? 45 * 135 : 40 * 135) /
                    (source.system == 2 || source.system == 4 ? 2 : 1));
      EXPECT_EQ(description.soundRead, source.system == 1 || source.system == 3 ? 1 : 0);
      EXPECT_EQ(description.soundChannels, description.soundRead ? 2 : 0);
      EXPECT_EQ(description.soundErrorSamplesTotal, 0u);
    }
    // Two-digit years: FFmpeg's clock-not-set date (1970) is not read as 2070.
    for (const auto& [digits, year] : {std::pair{0x70, 1970}, std::pair{0x68, 2068}}) {
      std::vector<std::uint8_t> frame = FrameOf(stream, source.system, 0);
      for (std::size_t at = 0; at + kDifBlockBytes <= frame.size(); at += kDifBlockBytes) {
        if (frame[at] >> 5 != 2) continue;  // video auxiliary blocks: fifteen 5-byte packs
        for (std::size_t pack = at + 3; pack + 5 <= at + 3 + 75; pack += 5) {
          if (frame[pack] == 0x62) frame[pack + 4] = static_cast<std::uint8_t>(digits);
        }
      }
      EXPECT_EQ(Describe(frame, source.system).videoRecordingTime.year, year);
    }
  }
}

TEST(FrameDescription, MissingPacksAreSaidMissingNotZero) {
  for (int system : {1, 2}) {
    SCOPED_TRACE(system);
    std::vector<std::uint8_t> frame = FrameOf(FfmpegStream(system), system, 3);
    ASSERT_FALSE(frame.empty());
    const HalvarisTimecode stored = Describe(frame, system).timecode;
    // Every pack of every subcode and video auxiliary block says "no information".
    const SystemGeometry& geometry = GeometryOf(system);
    for (int sequence = 0; sequence < geometry.sequencesPerChannel * geometry.channelsPerSample;
         ++sequence) {
      for (int block = 1; block <= 5; ++block) {
        std::fill(frame.begin() + DifBlock(sequence, block) + 3,
                  frame.begin() + DifBlock(sequence, block + 1), 0xff);
      }
    }
    HalvarisFrameDescription description = Describe(frame, system);
    EXPECT_EQ(description.timecode.present, 0);
    EXPECT_EQ(description.timecode.hours + description.timecode.frames, 0);
    EXPECT_EQ(description.videoRecordingTime.hasDate, 0);
    EXPECT_EQ(description.videoRecordingTime.hasTime, 0);
    EXPECT_EQ(description.videoRecordingTime.year, 0);
    EXPECT_EQ(description.hasSource, 0);
    EXPECT_EQ(description.sourceType, -1);
    EXPECT_EQ(description.hasSourceControl, 0);
    EXPECT_EQ(description.fieldOrder, HALVARIS_FIELD_ORDER_UNKNOWN);

    // A damaged first copy (a digit out of range) is passed over for the next sequence's.
    frame = FrameOf(FfmpegStream(system), system, 3);
    for (int block = 1; block <= 2; ++block) {
      for (int sync = 0; sync < 6; ++sync) frame[DifBlock(0, block) + 3 + 8 * sync + 4] = 0x3f;
    }
    description = Describe(frame, system);
    EXPECT_EQ(description.timecode.present, 1);
    EXPECT_EQ(description.timecode.frames, stored.frames);
    EXPECT_EQ(description.timecode.seconds, stored.seconds);

    // Short data: what lies past the end is missing, and the frame says it is incomplete.
    description = {};
    ASSERT_EQ(halvaris_describe_frame(system, frame.data(), DifBlock(0, 3), &description),
              HALVARIS_OK);
    EXPECT_EQ(description.complete, 0);
    EXPECT_EQ(description.timecode.present, 0);
    EXPECT_EQ(description.hasSource, 0);
    EXPECT_EQ(description.videoBlocks, 0u);
  }
  HalvarisFrameDescription description;
  EXPECT_EQ(halvaris_describe_frame(5, nullptr, 0, &description), HALVARIS_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(halvaris_describe_frame(1, nullptr, 10, &description), HALVARIS_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(halvaris_describe_frame(1, nullptr, 0, nullptr), HALVARIS_ERROR_INVALID_ARGUMENT);
}

// A block to flag: stored channel, sequence of the channel, video block 0..134, STA value.
struct Flag {
  int channel, sequence, block, sta;
};

std::size_t VideoBlockOffset(int system, const Flag& flag) {
  const int sequence = flag.channel * GeometryOf(system).sequencesPerChannel + flag.sequence;
  return DifBlock(sequence, 7 + 16 * (flag.block / 15) + flag.block % 15);
}

TEST(FrameDescription, ChosenStatusValuesAndErrorSamplesAreCountedExactly) {
  const Flag flags[] = {
      {0, 0, 0, 0x2}, {0, 0, 134, 0xA}, {1, 3, 17, 0x4}, {1, 9, 60, 0xC},
      {0, 5, 5, 0x6}, {1, 2, 2, 0xE},   {0, 7, 99, 0xF}, {1, 1, 1, 0x7},
      {0, 8, 8, 0x1}, {1, 4, 4, 0x9},   {0, 9, 9, 0xF},
  };
  for (int system : {1, 2, 3, 4}) {
    SCOPED_TRACE(system);
    const std::vector<std::uint8_t> stream = FfmpegStream(system);
    ASSERT_FALSE(stream.empty());
    // Frame 2 flagged, frames 1 and 3 as they were.
    std::vector<std::uint8_t> frame = FrameOf(stream, system, 2);
    for (const Flag& flag : flags) {
      std::uint8_t& status = frame[VideoBlockOffset(system, flag) + 3];
      status = static_cast<std::uint8_t>((flag.sta << 4) | (status & 15));
    }
    // Sound channel 1 (the second half of DIF channel 0): the first sample of three of its audio
    // blocks marked as errors; channel 2: one.
    const int half = system == 3 ? 6 : 5;
    const std::size_t errorSamples[][2] = {{static_cast<std::size_t>(half), 0},
                                           {static_cast<std::size_t>(half + 1), 4},
                                           {static_cast<std::size_t>(half + 2), 8},
                                           {static_cast<std::size_t>(2 * half), 3}};
    const bool sound = system == 1 || system == 3;
    if (sound) {
      for (const auto& [sequence, block] : errorSamples) {
        const std::size_t offset =
            DifBlock(static_cast<int>(sequence), 6 + 16 * static_cast<int>(block));
        frame[offset + 8] = 0x80;
        frame[offset + 9] = 0x00;
      }
    }
    const HalvarisFrameDescription description = Describe(frame, system);
    EXPECT_EQ(description.flaggedBlocks, 11u);
    EXPECT_EQ(description.concealedPreviousBlocks, 2u);
    EXPECT_EQ(description.concealedNextBlocks, 2u);
    EXPECT_EQ(description.concealedUnspecifiedBlocks, 2u);
    EXPECT_EQ(description.concealedBlocks, 6u);
    EXPECT_EQ(description.errorBlocks, 3u);
    EXPECT_EQ(description.reservedBlocks, 2u);
    EXPECT_EQ(description.totalBySta[0xF], 2u);
    EXPECT_EQ(description.blocksBySta[1][9][0xC], 1u);
    EXPECT_EQ(description.blocksBySta[1][9][0], 134u);
    EXPECT_EQ(description.blocksBySta[0][7][0xF], 1u);
    if (sound) {
      EXPECT_EQ(description.soundErrorSamples[0], 0u);
      EXPECT_EQ(description.soundErrorSamples[1], 3u);
      EXPECT_EQ(description.soundErrorSamples[2], 0u);  // past the two channels with packs
      EXPECT_EQ(description.soundErrorSamplesTotal, 3u);
      EXPECT_EQ(description.soundSamples[1], description.soundSamples[0]);
    }
    for (int index : {1, 3}) {
      const HalvarisFrameDescription neighbour = Describe(FrameOf(stream, system, index), system);
      EXPECT_EQ(neighbour.flaggedBlocks, 0u);
      EXPECT_EQ(neighbour.soundErrorSamplesTotal, 0u);
    }
  }
}

// The rectangle (in luma samples) each macroblock of a system covers, by the byte offset of its
// video DIF block.
struct Area {
  int x, y, width, height;
};

TEST(DamageMarking, OnlyTheFlaggedMacroblocksAreaChangesAndItIsPaintedWhole) {
  const PlacementTables& tables = BuildPlacementTables();
  for (int system : {1, 2, 3}) {
    SCOPED_TRACE(system);
    std::vector<std::uint8_t> frame = FrameOf(FfmpegStream(system), system, 0);
    ASSERT_FALSE(frame.empty());
    // Flags on macroblocks chosen through the tables: the first, one in the half-height bottom
    // row of the 1080-line pictures (in system 3 from channel 0's twelfth sequence), and one flag
    // whose value is not in the mask.
    std::vector<Area> flagged;
    const int channel = system == 2 ? ((frame[1] & 4) ? 0 : 2) : 0;
    auto flag = [&](int c, int q, int m, int s, int sta) {
      const int index = BlockAddressIndex(c, q, m, s);
      std::uint8_t& status = frame[tables.blockAddress[system - 1][index] + 3];
      status = static_cast<std::uint8_t>((sta << 4) | (status & 15));
      const MacroblockPosition position =
          tables.macroblockPosition[system - 1][MacroblockPositionIndex(c, q, m, s)];
      if (sta == 0x3) return;
      if (system != 2 && position.y >= 1072) {
        flagged.push_back({2 * position.x, position.y, 32, 8});
      } else {
        flagged.push_back({position.x, position.y, 16, 16});
      }
    };
    flag(channel, 0, 0, 0, 0x2);
    flag(channel + 1, 4, 3, 26, 0xF);
    flag(channel, 2, 1, 5, 0x3);
    if (system == 1) {  // system 3's bottom row comes from channel 0's twelfth sequence
      bool found = false;
      for (int c = 1; c < 4 && !found; ++c) {
        for (int m = 0; m < 5 && !found; ++m) {
          for (int s = 0; s < 27 && !found; ++s) {
            for (int q = 0; q < 10 && !found; ++q) {
              if (tables.macroblockPosition[system - 1][MacroblockPositionIndex(c, q, m, s)].y >=
                  1072) {
                flag(c, q, m, s, 0xE);
                found = true;
              }
            }
          }
        }
      }
      EXPECT_TRUE(found);
    }
    if (system == 3) flag(0, 11, 4, 26, 0x7);

    const std::vector<std::uint8_t> decoded = testing::DecodePicture(frame, system);
    ASSERT_FALSE(decoded.empty());
    std::vector<std::uint8_t> marked = decoded;
    const int width = GeometryOf(system).width;
    const std::ptrdiff_t pitch = 2 * width;
    EXPECT_EQ(halvaris_mark_damage(system, frame.data(), frame.size(),
                                   HALVARIS_STA_CONCEALED_MASK | HALVARIS_STA_ERROR_MASK,
                                   marked.data(), pitch, marked.size(), 1, 2, 3),
              static_cast<int>(flagged.size()));
    for (int y = 0; y < GeometryOf(system).height; ++y) {
      for (int x = 0; x < width; x += 2) {
        bool inside = false;
        for (const Area& area : flagged) {
          inside |=
              x >= area.x && x < area.x + area.width && y >= area.y && y < area.y + area.height;
        }
        const std::size_t at = static_cast<std::size_t>(y) * pitch + 2 * x;
        if (inside) {
          ASSERT_EQ(marked[at] * 0x1000000 + marked[at + 1] * 0x10000 + marked[at + 2] * 0x100 +
                        marked[at + 3],
                    0x01020103)
              << x << "," << y;
        } else {
          ASSERT_TRUE(
              std::equal(marked.begin() + at, marked.begin() + at + 4, decoded.begin() + at))
              << x << "," << y;
        }
      }
    }
    EXPECT_EQ(halvaris_mark_damage(system, frame.data(), frame.size(), 0xffff, marked.data(),
                                   pitch - 2, marked.size(), 1, 2, 3),
              HALVARIS_ERROR_PICTURE_TOO_SMALL);
  }
}

TEST(UnfinishedBlocks, CountedWhereCodesRunOutAndThePictureStaysTheSame) {
  for (int system : {1, 4}) {
    SCOPED_TRACE(system);
    const std::vector<std::uint8_t> encoded = FrameOf(FfmpegStream(system), system, 0);
    // All-zero areas hold codes of one coefficient each, far more than a block's 63 positions fit
    // in a segment's bits.
    const std::vector<std::uint8_t> zeros(GeometryOf(system).frameBytes, 0);
    HalvarisDecoder* decoder = nullptr;
    ASSERT_EQ(halvaris_decoder_create(nullptr, &decoder), HALVARIS_OK);
    std::vector<std::uint8_t> picture(PictureBytes(system));
    const std::ptrdiff_t pitch = 2 * GeometryOf(system).width;
    for (const auto* frame : {&encoded, &zeros}) {
      std::uint32_t unfinished = 12345;
      ASSERT_EQ(halvaris_decode_frame_counting(decoder, system, frame->data(), frame->size(),
                                               picture.data(), pitch, picture.size(), &unfinished),
                HALVARIS_OK);
      EXPECT_EQ(picture, testing::DecodePicture(*frame, system));
      if (frame == &encoded) {
        EXPECT_EQ(unfinished, 0u);
      } else {
        EXPECT_GT(unfinished, 0u);
        EXPECT_LE(unfinished, 8u * 135 * 40);
      }
    }
    halvaris_decoder_destroy(decoder);
  }
}

}  // namespace
}  // namespace halvaris
