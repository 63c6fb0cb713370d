#pragma once

// The report as one JSON object: frames, runs, segments and summary.

#include <ostream>

#include "report/report_builder.h"

namespace halvaris::decode_tool::report {

void WriteJsonReport(std::ostream& out, const ReportBuilder& report);

}  // namespace halvaris::decode_tool::report
