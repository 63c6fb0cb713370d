// The report built from frame entries: where segments begin and where they do not, runs, the
// CSV and JSON forms with missing values, and the summary paragraph.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "report/broadcast_origin.h"
#include "report/csv_report.h"
#include "report/json_report.h"
#include "report/report_builder.h"
#include "report/summary_text.h"

namespace halvaris::decode_tool::report {
namespace {

FrameEntry Entry(std::uint64_t frame, int system, std::optional<Timecode> timecode,
                 std::optional<RecordedAt> recorded = std::nullopt) {
  FrameEntry entry;
  entry.frame = frame;
  entry.timecode = timecode;
  entry.recorded = recorded;
  entry.properties.system = system;
  entry.properties.displayMode = 2;
  entry.properties.soundChannels = system == 1 || system == 3 ? 2 : -1;
  return entry;
}

Timecode Tc(int hours, int minutes, int seconds, int frames, bool dropFrame = false) {
  return Timecode{hours, minutes, seconds, frames, dropFrame};
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> SegmentsOf(
    const std::vector<FrameEntry>& entries) {
  ReportBuilder report;
  for (const FrameEntry& entry : entries) report.Add(entry);
  std::vector<std::pair<std::uint64_t, std::uint64_t>> segments;
  for (const Segment& segment : report.Segments()) {
    segments.emplace_back(segment.firstFrame, segment.lastFrame);
  }
  return segments;
}

using Segments = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

TEST(ReportSegments, TimecodeGoesOnAcrossDroppedNumbersMidnightAndFramesWithoutOne) {
  // 29.97 Hz drop-frame: 01:00:59;29 is followed by 01:01:00;02, and 01:09:59;29 by 01:10:00;00.
  EXPECT_EQ(SegmentsOf({Entry(0, 1, Tc(1, 0, 59, 29, true)), Entry(1, 1, Tc(1, 1, 0, 2, true)),
                        Entry(2, 1, std::nullopt), Entry(3, 1, Tc(1, 1, 0, 4, true)),
                        Entry(4, 1, Tc(1, 9, 59, 29, true)), Entry(5, 1, Tc(1, 10, 0, 0, true)),
                        Entry(6, 1, Tc(1, 10, 0, 2, true))}),
            (Segments{{0, 3}, {4, 5}, {6, 6}}));
  // 50 Hz 1080 lines across midnight; a drop-frame flag that changes starts a segment.
  EXPECT_EQ(SegmentsOf({Entry(0, 3, Tc(23, 59, 59, 24)), Entry(1, 3, Tc(0, 0, 0, 0)),
                        Entry(2, 3, Tc(0, 0, 0, 1)), Entry(3, 3, Tc(0, 0, 0, 2, true))}),
            (Segments{{0, 2}, {3, 3}}));
}

TEST(ReportSegments, The720LineSystemsPairsAreContinuousButNotThreeFramesOfOneValue) {
  EXPECT_EQ(SegmentsOf({Entry(0, 2, Tc(1, 0, 0, 28)), Entry(1, 2, Tc(1, 0, 0, 28)),
                        Entry(2, 2, Tc(1, 0, 0, 29)), Entry(3, 2, Tc(1, 0, 0, 29)),
                        Entry(4, 2, Tc(1, 0, 1, 0)), Entry(5, 2, std::nullopt),
                        Entry(6, 2, Tc(1, 0, 1, 1)), Entry(7, 2, Tc(1, 0, 1, 1)),
                        Entry(8, 2, Tc(1, 0, 1, 1)), Entry(9, 2, Tc(1, 0, 1, 3))}),
            (Segments{{0, 7}, {8, 8}, {9, 9}}));
  // A stream that starts on the second frame of a pair.
  EXPECT_EQ(SegmentsOf({Entry(0, 4, Tc(2, 0, 0, 5)), Entry(1, 4, Tc(2, 0, 0, 6)),
                        Entry(2, 4, Tc(2, 0, 0, 6))}),
            (Segments{{0, 2}}));
}

TEST(ReportSegments, RecordingTimeJumpsAndRecordingStartsBeginSegments) {
  const RecordedAt at{2021, 12, 31, 23, 59, 59};
  const RecordedAt nextYear{2022, 1, 1, 0, 0, 0};
  const RecordedAt later{2022, 1, 1, 0, 5, 0};
  std::vector<FrameEntry> entries{
      Entry(0, 1, std::nullopt, at),       Entry(1, 1, std::nullopt, at),
      Entry(2, 1, std::nullopt, nextYear), Entry(3, 1, std::nullopt, later),
      Entry(4, 1, std::nullopt, later),    Entry(5, 1, std::nullopt, at)};
  entries[4].recordingStart = true;
  EXPECT_EQ(SegmentsOf(entries), (Segments{{0, 2}, {3, 3}, {4, 4}, {5, 5}}));
}

TEST(ReportWriters, CsvAndJsonNameTheColumnsAndLeaveMissingValuesEmpty) {
  std::vector<FrameEntry> entries{
      Entry(0, 1, Tc(1, 2, 3, 4, true), RecordedAt{2021, 3, 4, 5, 6, 7}), Entry(1, 1, std::nullopt),
      Entry(2, 1, Tc(10, 0, 0, 0))};
  entries[1].flaggedBlocks = 7;
  entries[1].concealedBlocks = 4;
  entries[1].errorBlocks = 2;
  entries[1].reservedBlocks = 1;
  entries[1].audioErrorSamples = 36;
  entries[1].unfinishedBlocks = 3;
  entries[2].properties.fieldOrder = HALVARIS_FIELD_ORDER_TOP_FIRST;

  std::ostringstream csv;
  CsvReport writer(csv);
  ReportBuilder report;
  for (const FrameEntry& entry : entries) {
    writer.Add(entry);
    report.Add(entry);
  }
  EXPECT_EQ(csv.str(),
            "frame,timecode,recorded,flagged_blocks,concealed_blocks,error_blocks,"
            "audio_error_samples,reserved_blocks,recording_start,unfinished_blocks\n"
            "0,01:02:03;04,2021-03-04 05:06:07,0,0,0,0,0,0,\n"
            "1,,,7,4,2,36,1,0,3\n"
            "2,10:00:00:00,,0,0,0,0,0,0,\n");

  std::ostringstream json;
  WriteJsonReport(json, report);
  const std::string text = json.str();
  EXPECT_NE(text.find("{\"frame\":1,\"timecode\":null,\"recorded\":null,\"flagged_blocks\":7,"
                      "\"concealed_blocks\":4,\"error_blocks\":2,\"audio_error_samples\":36,"),
            std::string::npos)
      << text;
  // The field order changes at frame 2: two runs. The timecode jumps there: two segments.
  EXPECT_NE(text.find("\"runs\":[\n    {\"first_frame\":0,\"last_frame\":1,\"system\":1,"
                      "\"display_mode\":2,\"field_order\":null,\"sound_channels\":2},\n    "
                      "{\"first_frame\":2,\"last_frame\":2,"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\"segments\":[\n    {\"first_frame\":0,\"last_frame\":1,"
                      "\"first_timecode\":\"01:02:03;04\",\"last_timecode\":\"01:02:03;04\","
                      "\"first_recorded\":\"2021-03-04 05:06:07\","
                      "\"last_recorded\":\"2021-03-04 05:06:07\"},\n    {\"first_frame\":2,"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\"summary\":{\"frames\":3,\"frames_with_flagged_blocks\":1,"
                      "\"frames_with_flagged_blocks_share\":0.333333,"),
            std::string::npos)
      << text;
  EXPECT_EQ(SummaryText(report.Totals()),
            "3 frames: 1 (33.3%) with flagged blocks, 1 (33.3%) with errors left in the data, 1 "
            "with audio error samples, 3 blocks decoded short of their end; 2 segments; timecode "
            "01:02:03;04 to 10:00:00:00; recording time 2021-03-04 05:06:07 to 2021-03-04 "
            "05:06:07.");
  EXPECT_EQ(SummaryText(Summary{}),
            "0 frames: 0 (0.0%) with flagged blocks, 0 (0.0%) with errors left in the data, 0 with "
            "audio error samples; 0 segments; no timecode; no recording time.");
}

TEST(BroadcastOrigin, TimeReferenceCountsSamplesSinceMidnightOfTheTimecode) {
  // 01:00:00;00 drop-frame at 29.97 Hz is label 107892, 3599.9964 s after midnight.
  EXPECT_EQ(SamplesSinceMidnight(Tc(1, 0, 0, 0, true), 1, 48000), 172799827u);
  EXPECT_EQ(SamplesSinceMidnight(Tc(10, 0, 0, 1), 3, 48000), 1728001920u);
  EXPECT_EQ(SamplesSinceMidnight(Tc(0, 0, 1, 0), 4, 48000), 48000u);
  const auto origin =
      BroadcastOriginOf(Entry(0, 1, Tc(0, 0, 0, 1, true), RecordedAt{2021, 3, 4, 5, 6, 7}), 48000);
  ASSERT_TRUE(origin);
  EXPECT_EQ(origin->timeReference, 1602u);
  EXPECT_EQ(origin->originationDate, "2021-03-04");
  EXPECT_EQ(origin->originationTime, "05:06:07");
  EXPECT_FALSE(BroadcastOriginOf(Entry(0, 1, std::nullopt), 48000));
}

}  // namespace
}  // namespace halvaris::decode_tool::report
