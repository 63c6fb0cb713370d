#pragma once

// The report as CSV, one line per frame, written as the frames come.

#include <ostream>

#include "report/frame_entry.h"

namespace halvaris::decode_tool::report {

class CsvReport {
 public:
  // Writes the line of column names to `out`, which outlives the writer.
  explicit CsvReport(std::ostream& out);

  void Add(const FrameEntry& entry);

 private:
  std::ostream& out_;
};

}  // namespace halvaris::decode_tool::report
