// What a compressed frame says about itself, read from its bytes without decoding: the status of
// every video DIF block, the subcode and video auxiliary packs, and the audio error samples.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "dif_blocks.h"
#include "halvaris/halvaris.h"
#include "video_system.h"

namespace halvaris {
namespace {

constexpr int kVideoBlocksPerSequence = 135;
constexpr int kAudioBlocksPerSequence = 9;
constexpr int kSyncBlocksPerSubcodeBlock = 6;
// A 16-bit sample of this value marks a sample lost or damaged on the way.
constexpr std::uint16_t kErrorSample = 0x8000;

std::size_t BlockOffset(int sequence, int block) {
  return (static_cast<std::size_t>(sequence) * kDifBlocksPerSequence +
          static_cast<std::size_t>(block)) *
         kDifBlockBytes;
}

// Two binary-coded decimal digits: the tens in the bits of `tensMask` above the units' four;
// -1 when a digit is out of range (bytes of all ones say "no value").
int Bcd(std::uint8_t byte, int tensMask) {
  const int units = byte & 0x0f;
  const int tens = (byte >> 4) & tensMask;
  if (units > 9) return -1;
  return 10 * tens + units;
}

// The sequences of channel c that carry picture data, and where the channel's first lies.
struct ChannelSequences {
  int first;
  int count;
};

ChannelSequences SequencesOf(VideoSystem system, int c) {
  const int perChannel = GeometryOf(system).sequencesPerChannel;
  switch (system) {
    case 3:  // the twelfth sequence of channels 1..3 carries nothing
      return {c * perChannel, c == 0 ? 12 : 11};
    case 4:  // sequences 10 and 11 of each channel carry nothing
      return {c * perChannel, 10};
    default:
      return {c * perChannel, perChannel};
  }
}

void CountBlockStatus(VideoSystem system, const std::uint8_t* frame, std::size_t bytes,
                      HalvarisFrameDescription& out) {
  const int channels = GeometryOf(system).channelsPerSample;
  out.difChannels = channels;
  for (int c = 0; c < channels; ++c) {
    const ChannelSequences sequences = SequencesOf(system, c);
    out.sequencesOfChannel[c] = sequences.count;
    for (int q = 0; q < sequences.count; ++q) {
      std::uint16_t* counts = out.blocksBySta[c][q];
      const std::size_t start = BlockOffset(sequences.first + q, 0);
      // Nine groups of an audio block and fifteen video blocks, after the first seven blocks.
      for (int n = 0; n < kVideoBlocksPerSequence; ++n) {
        const std::size_t offset = start + (7 + 16 * (n / 15) + n % 15) * kDifBlockBytes + 3;
        if (offset >= bytes) break;
        ++counts[frame[offset] >> 4];
      }
    }
  }
  for (int c = 0; c < channels; ++c) {
    for (int q = 0; q < out.sequencesOfChannel[c]; ++q) {
      for (int sta = 0; sta < 16; ++sta) out.totalBySta[sta] += out.blocksBySta[c][q][sta];
    }
  }
  for (int sta = 0; sta < 16; ++sta) {
    const std::uint32_t blocks = out.totalBySta[sta];
    out.videoBlocks += blocks;
    switch (halvaris_sta_class(sta)) {
      case HALVARIS_STA_CLASS_NONE:
        continue;
      case HALVARIS_STA_CLASS_CONCEALED_PREVIOUS:
        out.concealedPreviousBlocks += blocks;
        break;
      case HALVARIS_STA_CLASS_CONCEALED_NEXT:
        out.concealedNextBlocks += blocks;
        break;
      case HALVARIS_STA_CLASS_CONCEALED_UNSPECIFIED:
        out.concealedUnspecifiedBlocks += blocks;
        break;
      case HALVARIS_STA_CLASS_ERROR:
        out.errorBlocks += blocks;
        break;
      default:
        out.reservedBlocks += blocks;
        break;
    }
    out.flaggedBlocks += blocks;
  }
  out.concealedBlocks =
      out.concealedPreviousBlocks + out.concealedNextBlocks + out.concealedUnspecifiedBlocks;
}

// Pack bytes: pack[0] is the pack header, pack[1..4] its four data bytes.
bool ReadTimecode(const std::uint8_t* pack, VideoSystem system, HalvarisTimecode& out) {
  const int frames = Bcd(pack[1], 3);
  const int seconds = Bcd(pack[2], 7);
  const int minutes = Bcd(pack[3], 7);
  const int hours = Bcd(pack[4], 3);
  if (frames < 0 || frames > 59 || seconds < 0 || seconds > 59 || minutes < 0 || minutes > 59 ||
      hours < 0 || hours > 23) {
    return false;
  }
  out.present = 1;
  out.hours = hours;
  out.minutes = minutes;
  out.seconds = seconds;
  out.frames = frames;
  out.dropFrame = (pack[1] >> 6) & 1;
  // The field mark bit sits in the seconds byte at 59.94 Hz and in the hours byte at 50 Hz.
  if (system == 2) out.framePairFlag = pack[2] >> 7;
  if (system == 4) out.framePairFlag = pack[4] >> 7;
  return true;
}

bool ReadRecordingDate(const std::uint8_t* pack, HalvarisRecordingTime& out) {
  const int day = Bcd(pack[2], 3);
  const int month = Bcd(pack[3], 1);
  const int year = Bcd(pack[4], 15);
  if (day < 1 || day > 31 || month < 1 || month > 12 || year < 0) return false;
  out.hasDate = 1;
  out.day = day;
  out.month = month;
  out.year = year < 69 ? 2000 + year : 1900 + year;
  return true;
}

bool ReadRecordingTime(const std::uint8_t* pack, HalvarisRecordingTime& out) {
  const int seconds = Bcd(pack[2], 7);
  const int minutes = Bcd(pack[3], 7);
  const int hours = Bcd(pack[4], 3);
  if (seconds < 0 || seconds > 59 || minutes < 0 || minutes > 59 || hours < 0 || hours > 23) {
    return false;
  }
  out.hasTime = 1;
  out.hours = hours;
  out.minutes = minutes;
  out.seconds = seconds;
  const int frames = Bcd(pack[1], 3);
  out.frames = frames >= 0 ? frames : -1;
  return true;
}

void ReadSourcePack(const std::uint8_t* pack, HalvarisFrameDescription& out) {
  out.hasSource = 1;
  out.fiftyHz = (pack[3] >> 5) & 1;
  out.sourceType = pack[3] & 0x1f;
}

void ReadSourceControlPack(const std::uint8_t* pack, HalvarisFrameDescription& out) {
  out.hasSourceControl = 1;
  out.recordingStart = (pack[2] & 0x80) == 0;  // REC ST is 0 at the start of a recording
  out.recordingMode = (pack[2] >> 4) & 3;
  out.displayMode = pack[2] & 7;
  out.frameFlag = pack[3] >> 7;
  out.firstField = (pack[3] >> 6) & 1;
  out.frameChange = (pack[3] >> 5) & 1;
  out.interlaced = (pack[3] >> 4) & 1;
  out.fieldOrder = FieldOrderOf(pack);
}

// The first readable pack of each kind, from the subcode and video auxiliary blocks of every DIF
// sequence in turn (a damaged copy in one sequence is read from the next).
void ReadPacks(VideoSystem system, const std::uint8_t* frame, std::size_t bytes,
               HalvarisFrameDescription& out) {
  const SystemGeometry& geometry = GeometryOf(system);
  const int sequences = geometry.sequencesPerChannel * geometry.channelsPerSample;
  bool timecode = false, subcodeDate = false, subcodeTime = false;
  bool source = false, sourceControl = false, videoDate = false, videoTime = false;
  for (int sequence = 0; sequence < sequences; ++sequence) {
    if (timecode && subcodeDate && subcodeTime && source && sourceControl && videoDate &&
        videoTime) {
      break;
    }
    if (BlockOffset(sequence, 6) > bytes) break;
    for (int block = 1; block <= 2; ++block) {
      const std::uint8_t* data = frame + BlockOffset(sequence, block);
      if (SectionOf(data) != kSubcodeSection) continue;
      // Six sync blocks: three identifier bytes and a pack.
      for (int sync = 0; sync < kSyncBlocksPerSubcodeBlock; ++sync) {
        const std::uint8_t* pack = data + 3 + 8 * sync + 3;
        if (pack[0] == kTimecodePack && !timecode) {
          timecode = ReadTimecode(pack, system, out.timecode);
        } else if (pack[0] == kRecordingDatePack && !subcodeDate) {
          subcodeDate = ReadRecordingDate(pack, out.subcodeRecordingTime);
        } else if (pack[0] == kRecordingTimePack && !subcodeTime) {
          subcodeTime = ReadRecordingTime(pack, out.subcodeRecordingTime);
        }
      }
    }
    for (int block = 3; block <= 5; ++block) {
      const std::uint8_t* data = frame + BlockOffset(sequence, block);
      if (SectionOf(data) != kVideoAuxiliarySection) continue;
      for (int index = 0; index < kPacksPerAuxiliaryBlock; ++index) {
        const std::uint8_t* pack = AuxiliaryPack(data, index);
        if (pack[0] == kSourcePack && !source) {
          ReadSourcePack(pack, out);
          source = true;
        } else if (pack[0] == kSourceControlPack && !sourceControl) {
          ReadSourceControlPack(pack, out);
          sourceControl = true;
        } else if (pack[0] == kRecordingDatePack && !videoDate) {
          videoDate = ReadRecordingDate(pack, out.videoRecordingTime);
        } else if (pack[0] == kRecordingTimePack && !videoTime) {
          videoTime = ReadRecordingTime(pack, out.videoRecordingTime);
        }
      }
    }
  }
}

// Samples of a sound channel in the frame as its audio source pack gives them (the first in its
// blocks), or 0 when it has none for 16-bit sound at 48 kHz. The pack: AF SIZE in the low six
// bits of its first data byte, the 50/60 flag in its third, SMP and QU in its fourth.
std::uint32_t SamplesOfChannel(const std::uint8_t* frame, std::size_t bytes, int firstSequence,
                               int sequences) {
  for (int sequence = firstSequence; sequence < firstSequence + sequences; ++sequence) {
    for (int block = 0; block < kAudioBlocksPerSequence; ++block) {
      const std::size_t offset = BlockOffset(sequence, 6 + 16 * block);
      if (offset + kDifBlockBytes > bytes) return 0;
      const std::uint8_t* data = frame + offset;
      if (SectionOf(data) != kAudioSection || data[3] != kAudioSourcePack) continue;
      if ((data[7] & 0x3f) != 0) return 0;
      const bool fiftyHz = (data[6] & 0x20) != 0;
      const int samples = (fiftyHz ? 1896 : 1580) + (data[4] & 0x3f);
      const int capacity = 36 * kAudioBlocksPerSequence * sequences;
      return static_cast<std::uint32_t>(samples < capacity ? samples : capacity);
    }
  }
  return 0;
}

// The sound of the 1080-line systems: each DIF channel carries two sound channels, one in the
// first half of its sequences and one in the second, 36 samples of 16 bits in each audio block
// (from byte 8), shuffled over the half's sequences and blocks.
void CountSoundErrors(VideoSystem system, const std::uint8_t* frame, std::size_t bytes,
                      HalvarisFrameDescription& out) {
  if (system != 1 && system != 3) return;
  out.soundRead = 1;
  const int half = system == 3 ? 6 : 5;  // sequences per sound channel
  const int perRow = kAudioBlocksPerSequence * half;
  for (int channel = 0; channel < HALVARIS_MAX_SOUND_CHANNELS; ++channel) {
    const int firstSequence = channel * half;
    const std::uint32_t samples = SamplesOfChannel(frame, bytes, firstSequence, half);
    if (samples == 0) continue;
    out.soundChannels = channel + 1;
    out.soundSamples[channel] = samples;
    std::uint32_t errors = 0;
    for (std::uint32_t n = 0; n < samples; ++n) {
      const int i = static_cast<int>(n);
      const int sequence = firstSequence + (i / 3 + 2 * (i % 3)) % half;
      const int block = 3 * (i % 3) + (i % perRow) / (3 * half);
      const std::size_t offset = BlockOffset(sequence, 6 + 16 * block) + 8 + 2 * (n / perRow);
      // A sample past the end of short data is missing, which is counted as an error.
      if (offset + 2 > bytes ||
          (frame[offset] << 8 | frame[offset + 1]) == static_cast<int>(kErrorSample)) {
        ++errors;
      }
    }
    out.soundErrorSamples[channel] = errors;
    out.soundErrorSamplesTotal += errors;
  }
}

}  // namespace
}  // namespace halvaris

extern "C" int halvaris_sta_class(int sta) {
  switch (sta) {
    case 0x0:
      return HALVARIS_STA_CLASS_NONE;
    case 0x2:
    case 0xA:
      return HALVARIS_STA_CLASS_CONCEALED_PREVIOUS;
    case 0x4:
    case 0xC:
      return HALVARIS_STA_CLASS_CONCEALED_NEXT;
    case 0x6:
    case 0xE:
      return HALVARIS_STA_CLASS_CONCEALED_UNSPECIFIED;
    case 0x7:
    case 0xF:
      return HALVARIS_STA_CLASS_ERROR;
    default:
      return HALVARIS_STA_CLASS_RESERVED;
  }
}

extern "C" int halvaris_describe_frame(int system, const std::uint8_t* frame,
                                       std::size_t frameBytes,
                                       HalvarisFrameDescription* description) {
  if (description == nullptr || !halvaris::IsValidVideoSystem(system) ||
      (frame == nullptr && frameBytes > 0)) {
    return HALVARIS_ERROR_INVALID_ARGUMENT;
  }
  HalvarisFrameDescription& out = *description;
  std::memset(&out, 0, sizeof out);
  out.system = system;
  out.complete = frameBytes >= halvaris::GeometryOf(system).frameBytes;
  out.timecode.framePairFlag = -1;
  out.videoRecordingTime.frames = -1;
  out.subcodeRecordingTime.frames = -1;
  out.sourceType = -1;
  out.fieldOrder = HALVARIS_FIELD_ORDER_UNKNOWN;
  if (frameBytes > halvaris::GeometryOf(system).frameBytes) {
    frameBytes = halvaris::GeometryOf(system).frameBytes;
  }
  if (frame == nullptr) return HALVARIS_OK;
  halvaris::CountBlockStatus(system, frame, frameBytes, out);
  halvaris::ReadPacks(system, frame, frameBytes, out);
  halvaris::CountSoundErrors(system, frame, frameBytes, out);
  return HALVARIS_OK;
}
