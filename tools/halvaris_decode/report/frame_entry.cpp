#include "report/frame_entry.h"

#include <cstdio>

namespace halvaris::decode_tool::report {

namespace {

std::optional<RecordedAt> RecordedAtOf(const HalvarisRecordingTime& time) {
  if (!time.hasDate || !time.hasTime) return std::nullopt;
  return RecordedAt{time.year, time.month, time.day, time.hours, time.minutes, time.seconds};
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(int year, int month, int day) {
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yearOfEra = y - era * 400;
  const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return static_cast<std::int64_t>(era) * 146097 + dayOfEra - 719468;
}

}  // namespace

std::string Timecode::Text() const {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d%c%02d", hours, minutes, seconds,
                dropFrame ? ';' : ':', frames);
  return text;
}

bool Timecode::operator==(const Timecode& other) const {
  return hours == other.hours && minutes == other.minutes && seconds == other.seconds &&
         frames == other.frames && dropFrame == other.dropFrame;
}

std::string RecordedAt::Text() const {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hours,
                minutes, seconds);
  return text;
}

std::int64_t RecordedAt::Seconds() const {
  return DaysFromCivil(year, month, day) * 86400 + hours * 3600 + minutes * 60 + seconds;
}

bool FrameProperties::operator==(const FrameProperties& other) const {
  return system == other.system && displayMode == other.displayMode &&
         fieldOrder == other.fieldOrder && soundChannels == other.soundChannels;
}

FrameEntry EntryOf(std::uint64_t frame, const HalvarisFrameDescription& description,
                   std::optional<std::uint32_t> unfinishedBlocks) {
  FrameEntry entry;
  entry.frame = frame;
  if (description.timecode.present) {
    const HalvarisTimecode& timecode = description.timecode;
    entry.timecode = Timecode{timecode.hours, timecode.minutes, timecode.seconds, timecode.frames,
                              timecode.dropFrame != 0};
  }
  entry.recorded = RecordedAtOf(description.videoRecordingTime);
  if (!entry.recorded) entry.recorded = RecordedAtOf(description.subcodeRecordingTime);
  entry.recordingStart = description.hasSourceControl && description.recordingStart;
  entry.flaggedBlocks = description.flaggedBlocks;
  entry.concealedBlocks = description.concealedBlocks;
  entry.errorBlocks = description.errorBlocks;
  entry.reservedBlocks = description.reservedBlocks;
  entry.audioErrorSamples = description.soundErrorSamplesTotal;
  entry.unfinishedBlocks = unfinishedBlocks;
  FrameProperties& properties = entry.properties;
  properties.system = description.system;
  properties.displayMode = description.hasSourceControl ? description.displayMode : -1;
  properties.fieldOrder = description.fieldOrder;
  properties.soundChannels = description.soundRead ? description.soundChannels : -1;
  return entry;
}

}  // namespace halvaris::decode_tool::report
