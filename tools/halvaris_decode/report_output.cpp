#include "report_output.h"

#include "options.h"
#include "report/json_report.h"

namespace halvaris::decode_tool {

report::FrameEntry FactsOf(std::int64_t frameNumber, const std::uint8_t* frame, std::size_t bytes,
                           VideoSystem system, std::optional<std::uint32_t> unfinishedBlocks) {
  HalvarisFrameDescription description;
  // Refuses only a system outside 1..4 or null pointers, which the readers never give.
  halvaris_describe_frame(system, frame, bytes, &description);
  return report::EntryOf(static_cast<std::uint64_t>(frameNumber), description, unfinishedBlocks);
}

ReportOutput::ReportOutput(const std::string& path, VideoSystem system)
    : file_(path), system_(system) {
  if (ReportIsCsv(path)) {
    csv_ = std::make_unique<report::CsvReport>(pending_);
    WritePending();
  }
}

const report::FrameEntry& ReportOutput::Add(std::int64_t frameNumber, const std::uint8_t* frame,
                                            std::size_t bytes,
                                            std::optional<std::uint32_t> unfinishedBlocks) {
  builder_.Add(FactsOf(frameNumber, frame, bytes, system_, unfinishedBlocks));
  const report::FrameEntry& entry = builder_.Frames().back();
  if (csv_) {
    csv_->Add(entry);
    WritePending();
  }
  return entry;
}

void ReportOutput::WritePending() {
  const std::string text = pending_.str();
  file_.Write(text.data(), text.size());
  pending_.str("");
}

void ReportOutput::Finish() {
  if (!csv_) {
    report::WriteJsonReport(pending_, builder_);
    WritePending();
  }
  file_.Close();
}

}  // namespace halvaris::decode_tool
