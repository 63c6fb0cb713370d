#include "report/csv_report.h"

namespace halvaris::decode_tool::report {

// The first seven columns are the report's fixed ones; later columns may be added after them.
CsvReport::CsvReport(std::ostream& out) : out_(out) {
  out_ << "frame,timecode,recorded,flagged_blocks,concealed_blocks,error_blocks,"
          "audio_error_samples,reserved_blocks,recording_start,unfinished_blocks\n";
}

void CsvReport::Add(const FrameEntry& entry) {
  out_ << entry.frame << ',' << (entry.timecode ? entry.timecode->Text() : "") << ','
       << (entry.recorded ? entry.recorded->Text() : "") << ',' << entry.flaggedBlocks << ','
       << entry.concealedBlocks << ',' << entry.errorBlocks << ',' << entry.audioErrorSamples << ','
       << entry.reservedBlocks << ',' << (entry.recordingStart ? 1 : 0) << ',';
  if (entry.unfinishedBlocks) out_ << *entry.unfinishedBlocks;
  out_ << '\n';
}

}  // namespace halvaris::decode_tool::report
