#include "report/json_report.h"

#include <cstdio>
#include <optional>
#include <string>

namespace halvaris::decode_tool::report {

namespace {

// The report's strings are digits, separators and fixed words: nothing needs escaping.
std::string Quoted(const std::string& text) {
  return '"' + text + '"';
}

template <typename T>
std::string TextOrNull(const std::optional<T>& value) {
  return value ? Quoted(value->Text()) : "null";
}

template <typename T>
std::string NumberOrNull(const std::optional<T>& value) {
  return value ? std::to_string(*value) : "null";
}

// The frames' fields that are -1 where they were not read.
std::string CountOrNull(int value) {
  return value >= 0 ? std::to_string(value) : "null";
}

const char* FieldOrderName(int fieldOrder) {
  switch (fieldOrder) {
    case HALVARIS_FIELD_ORDER_TOP_FIRST:
      return "\"top_first\"";
    case HALVARIS_FIELD_ORDER_BOTTOM_FIRST:
      return "\"bottom_first\"";
    default:
      return "null";
  }
}

std::string Share(std::uint64_t part, std::uint64_t whole) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f",
                whole == 0 ? 0.0 : static_cast<double>(part) / static_cast<double>(whole));
  return text;
}

void WriteFrame(std::ostream& out, const FrameEntry& entry) {
  out << "{\"frame\":" << entry.frame << ",\"timecode\":" << TextOrNull(entry.timecode)
      << ",\"recorded\":" << TextOrNull(entry.recorded)
      << ",\"flagged_blocks\":" << entry.flaggedBlocks
      << ",\"concealed_blocks\":" << entry.concealedBlocks
      << ",\"error_blocks\":" << entry.errorBlocks
      << ",\"audio_error_samples\":" << entry.audioErrorSamples
      << ",\"reserved_blocks\":" << entry.reservedBlocks
      << ",\"recording_start\":" << (entry.recordingStart ? "true" : "false")
      << ",\"unfinished_blocks\":" << NumberOrNull(entry.unfinishedBlocks) << '}';
}

void WriteRun(std::ostream& out, const Run& run) {
  const FrameProperties& properties = run.properties;
  out << "{\"first_frame\":" << run.firstFrame << ",\"last_frame\":" << run.lastFrame
      << ",\"system\":" << properties.system
      << ",\"display_mode\":" << CountOrNull(properties.displayMode)
      << ",\"field_order\":" << FieldOrderName(properties.fieldOrder)
      << ",\"sound_channels\":" << CountOrNull(properties.soundChannels) << '}';
}

void WriteSegment(std::ostream& out, const Segment& segment) {
  out << "{\"first_frame\":" << segment.firstFrame << ",\"last_frame\":" << segment.lastFrame
      << ",\"first_timecode\":" << TextOrNull(segment.firstTimecode)
      << ",\"last_timecode\":" << TextOrNull(segment.lastTimecode)
      << ",\"first_recorded\":" << TextOrNull(segment.firstRecorded)
      << ",\"last_recorded\":" << TextOrNull(segment.lastRecorded) << '}';
}

void WriteSummary(std::ostream& out, const Summary& summary) {
  out << "{\"frames\":" << summary.frames
      << ",\"frames_with_flagged_blocks\":" << summary.framesWithFlaggedBlocks
      << ",\"frames_with_flagged_blocks_share\":"
      << Share(summary.framesWithFlaggedBlocks, summary.frames)
      << ",\"frames_with_concealed_blocks\":" << summary.framesWithConcealedBlocks
      << ",\"frames_with_error_blocks\":" << summary.framesWithErrorBlocks
      << ",\"frames_with_error_blocks_share\":"
      << Share(summary.framesWithErrorBlocks, summary.frames)
      << ",\"frames_with_audio_errors\":" << summary.framesWithAudioErrors
      << ",\"flagged_blocks\":" << summary.flaggedBlocks
      << ",\"concealed_blocks\":" << summary.concealedBlocks
      << ",\"error_blocks\":" << summary.errorBlocks
      << ",\"audio_error_samples\":" << summary.audioErrorSamples
      << ",\"unfinished_blocks\":" << NumberOrNull(summary.unfinishedBlocks)
      << ",\"segments\":" << summary.segments
      << ",\"first_timecode\":" << TextOrNull(summary.firstTimecode)
      << ",\"last_timecode\":" << TextOrNull(summary.lastTimecode)
      << ",\"first_recorded\":" << TextOrNull(summary.firstRecorded)
      << ",\"last_recorded\":" << TextOrNull(summary.lastRecorded) << '}';
}

template <typename Item, typename Writer>
void WriteList(std::ostream& out, const char* name, const std::vector<Item>& items, Writer write) {
  out << "\"" << name << "\":[";
  for (std::size_t i = 0; i < items.size(); ++i) {
    out << (i == 0 ? "\n    " : ",\n    ");
    write(out, items[i]);
  }
  out << (items.empty() ? "]" : "\n  ]");
}

}  // namespace

void WriteJsonReport(std::ostream& out, const ReportBuilder& report) {
  out << "{\n  ";
  WriteList(out, "frames", report.Frames(), WriteFrame);
  out << ",\n  ";
  WriteList(out, "runs", report.Runs(), WriteRun);
  out << ",\n  ";
  WriteList(out, "segments", report.Segments(), WriteSegment);
  out << ",\n  \"summary\":";
  WriteSummary(out, report.Totals());
  out << "\n}\n";
}

}  // namespace halvaris::decode_tool::report
