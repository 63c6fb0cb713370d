#pragma once

// The one paragraph that ends a run with a report, for the standard error.

#include <string>

#include "report/report_builder.h"

namespace halvaris::decode_tool::report {

// For example: "120 frames: 3 with flagged blocks (2.5%), 1 with errors left in the data
// (0.8%), 0 with audio error samples; 2 segments; timecode 01:00:00;00 to 01:00:03;29; recorded
// 2021-03-04 05:06:07 to 2021-03-04 05:06:11." (ends without a line break).
std::string SummaryText(const Summary& summary);

}  // namespace halvaris::decode_tool::report
