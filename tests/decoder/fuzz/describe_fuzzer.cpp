// Reads what arbitrary bytes say as a compressed frame, and paints their flagged macroblocks into
// a picture of exactly the coded size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz_frame.h"
#include "halvaris/halvaris.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckTimecode(const HalvarisTimecode& timecode) {
  if (!timecode.present) {
    Check(timecode.hours == 0 && timecode.minutes == 0 && timecode.seconds == 0 &&
          timecode.frames == 0);
    return;
  }
  Check(timecode.hours < 24 && timecode.minutes < 60 && timecode.seconds < 60 &&
        timecode.frames < 60);
}

void CheckRecordingTime(const HalvarisRecordingTime& time) {
  if (time.hasDate) {
    Check(time.month >= 1 && time.month <= 12 && time.day >= 1 && time.day <= 31);
  } else {
    Check(time.year == 0 && time.month == 0 && time.day == 0);
  }
  if (time.hasTime) Check(time.hours < 24 && time.minutes < 60 && time.seconds < 60);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const FuzzFrame frame = FrameOfFuzzInput(data, size);
  HalvarisFrameDescription description;
  Check(halvaris_describe_frame(frame.system, frame.bytes.data(), frame.bytes.size(),
                                &description) == HALVARIS_OK);
  std::uint32_t blocks = 0;
  for (std::uint32_t count : description.totalBySta) blocks += count;
  Check(blocks == description.videoBlocks);
  Check(description.flaggedBlocks == blocks - description.totalBySta[0]);
  Check(description.flaggedBlocks ==
        description.concealedBlocks + description.errorBlocks + description.reservedBlocks);
  CheckTimecode(description.timecode);
  CheckRecordingTime(description.videoRecordingTime);
  CheckRecordingTime(description.subcodeRecordingTime);
  Check(description.soundChannels >= 0 && description.soundChannels <= 8);
  for (int channel = 0; channel < HALVARIS_MAX_SOUND_CHANNELS; ++channel) {
    Check(description.soundErrorSamples[channel] <= description.soundSamples[channel]);
  }

  std::vector<std::uint8_t> picture(frame.info.pictureBytes);
  const int painted =
      halvaris_mark_damage(frame.system, frame.bytes.data(), frame.bytes.size(), 0xfffe,
                           picture.data(), 2 * frame.info.width, picture.size(), 0xff, 0x80, 0x80);
  Check(painted >= 0 && static_cast<std::uint32_t>(painted) == description.flaggedBlocks);
  return 0;
}
