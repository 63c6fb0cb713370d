#include "report/broadcast_origin.h"

#include <cstdio>

#include "report/report_builder.h"

namespace halvaris::decode_tool::report {

std::uint64_t SamplesSinceMidnight(const Timecode& timecode, int system, int sampleRate) {
  const auto label = static_cast<std::uint64_t>(TimecodeLabel(timecode, system));
  const auto rate = static_cast<std::uint64_t>(sampleRate);
  if (system == 3 || system == 4) return (label * rate + 12) / 25;
  return (label * rate * 1001 + 15000) / 30000;
}

std::optional<audio::BroadcastWaveOrigin> BroadcastOriginOf(const FrameEntry& first,
                                                            int sampleRate) {
  if (!first.timecode && !first.recorded) return std::nullopt;
  audio::BroadcastWaveOrigin origin;
  if (first.timecode) {
    origin.timeReference =
        SamplesSinceMidnight(*first.timecode, first.properties.system, sampleRate);
  }
  if (first.recorded) {
    const RecordedAt& at = *first.recorded;
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", at.year, at.month, at.day);
    origin.originationDate = text;
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", at.hours, at.minutes, at.seconds);
    origin.originationTime = text;
  }
  return origin;
}

}  // namespace halvaris::decode_tool::report
