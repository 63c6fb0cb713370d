#include "report/report_builder.h"

namespace halvaris::decode_tool::report {

namespace {

bool IsFiftyHz(int system) {
  return system == 3 || system == 4;
}

bool Is720Lines(int system) {
  return system == 2 || system == 4;
}

// Frames of the stream per second, as whole numbers.
int FramesPerSecond(int system) {
  static const int kRates[5] = {30, 30, 60, 25, 50};
  return system >= 1 && system <= 4 ? kRates[system] : 30;
}

}  // namespace

std::int64_t TimecodeLabel(const Timecode& timecode, int system) {
  const int rate = IsFiftyHz(system) ? 25 : 30;
  const std::int64_t minutes = timecode.hours * 60 + timecode.minutes;
  std::int64_t label = (minutes * 60 + timecode.seconds) * rate + timecode.frames;
  if (timecode.dropFrame && rate == 30) label -= 2 * (minutes - minutes / 10);
  return label;
}

std::int64_t LabelsPerDay(const Timecode& timecode, int system) {
  const int rate = IsFiftyHz(system) ? 25 : 30;
  std::int64_t labels = std::int64_t{24} * 3600 * rate;
  if (timecode.dropFrame && rate == 30) labels -= 2 * (24 * 60 - 24 * 6);
  return labels;
}

bool ReportBuilder::StartsSegment(const FrameEntry& entry) const {
  if (frames_.empty()) return true;
  if (entry.recordingStart) return true;
  const int system = entry.properties.system;
  if (entry.timecode && lastTimed_) {
    const Timecode& last = *lastTimed_->timecode;
    if (last.dropFrame != entry.timecode->dropFrame) return true;
    const std::int64_t day = LabelsPerDay(last, system);
    const std::int64_t step =
        ((TimecodeLabel(*entry.timecode, system) - TimecodeLabel(last, system)) % day + day) % day;
    const auto distance = static_cast<std::int64_t>(entry.frame - lastTimed_->frame);
    if (Is720Lines(system)) {
      // Two frames share a value: the frame after the first of a pair repeats it, the frame
      // after the second goes on. Frames between without a timecode may lie either way.
      const bool repeatAllowed = distance > 1 || sameTimecodeFrames_ < 2;
      const bool continuous =
          (step == distance / 2 && (step > 0 || repeatAllowed)) || step == (distance + 1) / 2;
      if (!continuous) return true;
    } else if (step != distance) {
      return true;
    }
  }
  if (entry.recorded && lastRecorded_) {
    // The recording clock counts whole seconds: it stays or moves on by the time the frames
    // between take (and a second for rounding).
    const std::int64_t seconds = entry.recorded->Seconds() - lastRecorded_->recorded->Seconds();
    const auto distance = static_cast<std::int64_t>(entry.frame - lastRecorded_->frame);
    if (seconds < 0 || seconds > distance / FramesPerSecond(system) + 1) return true;
  }
  return false;
}

void ReportBuilder::Add(const FrameEntry& entry) {
  if (StartsSegment(entry)) {
    segments_.push_back(Segment{entry.frame, entry.frame, {}, {}, {}, {}});
    summary_.segments = segments_.size();
  }
  Segment& segment = segments_.back();
  segment.lastFrame = entry.frame;
  if (entry.timecode) {
    if (!segment.firstTimecode) segment.firstTimecode = entry.timecode;
    segment.lastTimecode = entry.timecode;
    if (!summary_.firstTimecode) summary_.firstTimecode = entry.timecode;
    summary_.lastTimecode = entry.timecode;
    const bool same = lastTimed_ && lastTimed_->frame + 1 == entry.frame &&
                      *lastTimed_->timecode == *entry.timecode;
    sameTimecodeFrames_ = same ? sameTimecodeFrames_ + 1 : 1;
    lastTimed_ = entry;
  }
  if (entry.recorded) {
    if (!segment.firstRecorded) segment.firstRecorded = entry.recorded;
    segment.lastRecorded = entry.recorded;
    if (!summary_.firstRecorded) summary_.firstRecorded = entry.recorded;
    summary_.lastRecorded = entry.recorded;
    lastRecorded_ = entry;
  }

  if (runs_.empty() || runs_.back().properties != entry.properties) {
    runs_.push_back(Run{entry.frame, entry.frame, entry.properties});
  }
  runs_.back().lastFrame = entry.frame;

  Summary& summary = summary_;
  ++summary.frames;
  summary.framesWithFlaggedBlocks += entry.flaggedBlocks > 0;
  summary.framesWithConcealedBlocks += entry.concealedBlocks > 0;
  summary.framesWithErrorBlocks += entry.errorBlocks > 0;
  summary.framesWithAudioErrors += entry.audioErrorSamples > 0;
  summary.flaggedBlocks += entry.flaggedBlocks;
  summary.concealedBlocks += entry.concealedBlocks;
  summary.errorBlocks += entry.errorBlocks;
  summary.audioErrorSamples += entry.audioErrorSamples;
  if (entry.unfinishedBlocks) {
    summary.unfinishedBlocks = summary.unfinishedBlocks.value_or(0) + *entry.unfinishedBlocks;
  }
  frames_.push_back(entry);
}

}  // namespace halvaris::decode_tool::report
