#pragma once

// The report of a sequence of frames, built as the frames come: runs of frames that share their
// picture and sound properties, segments (where the timecode or the recording time does not go on
// from the frame before, or a recording starts), and the counts of the summary.

#include <cstdint>
#include <optional>
#include <vector>

#include "report/frame_entry.h"

namespace halvaris::decode_tool::report {

struct Run {
  std::uint64_t firstFrame = 0, lastFrame = 0;
  FrameProperties properties;
};

struct Segment {
  std::uint64_t firstFrame = 0, lastFrame = 0;
  std::optional<Timecode> firstTimecode, lastTimecode;  // of the first and last frames with one
  std::optional<RecordedAt> firstRecorded, lastRecorded;
};

struct Summary {
  std::uint64_t frames = 0;
  std::uint64_t framesWithFlaggedBlocks = 0;
  std::uint64_t framesWithErrorBlocks = 0;
  std::uint64_t framesWithConcealedBlocks = 0;
  std::uint64_t framesWithAudioErrors = 0;
  std::uint64_t flaggedBlocks = 0, concealedBlocks = 0, errorBlocks = 0, audioErrorSamples = 0;
  std::optional<std::uint64_t> unfinishedBlocks;  // where any frame was decoded
  std::optional<Timecode> firstTimecode, lastTimecode;
  std::optional<RecordedAt> firstRecorded, lastRecorded;
  std::uint64_t segments = 0;
};

class ReportBuilder {
 public:
  // Frames come in order, numbered from 0 without gaps.
  void Add(const FrameEntry& entry);

  const std::vector<FrameEntry>& Frames() const { return frames_; }
  const std::vector<Run>& Runs() const { return runs_; }
  const std::vector<Segment>& Segments() const { return segments_; }
  const Summary& Totals() const { return summary_; }

 private:
  bool StartsSegment(const FrameEntry& entry) const;

  std::vector<FrameEntry> frames_;
  std::vector<Run> runs_;
  std::vector<Segment> segments_;
  Summary summary_;
  // The last frame with a timecode and with a recording time, and how many frames in a row before
  // it showed the same timecode (the 720-line systems store one value per pair of frames).
  std::optional<FrameEntry> lastTimed_;
  int sameTimecodeFrames_ = 0;
  std::optional<FrameEntry> lastRecorded_;
};

// The label number of a timecode at the frame rate its system counts (30 or 25 a second; 30 with
// two numbers dropped at the start of every minute but the tenth when drop-frame), and the number
// of labels in a day.
std::int64_t TimecodeLabel(const Timecode& timecode, int system);
std::int64_t LabelsPerDay(const Timecode& timecode, int system);

}  // namespace halvaris::decode_tool::report
