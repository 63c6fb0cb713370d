#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "media_names.h"
#include "output_file.h"
#include "report/csv_report.h"
#include "report/frame_entry.h"
#include "report/report_builder.h"

namespace halvaris::decode_tool {

// What frame `frameNumber` of the input (compressed bytes `frame` of `system`) says about itself,
// read without decoding it; with the blocks its decode left unfinished where it was decoded.
report::FrameEntry FactsOf(std::int64_t frameNumber, const std::uint8_t* frame, std::size_t bytes,
                           VideoSystem system,
                           std::optional<std::uint32_t> unfinishedBlocks = std::nullopt);

// --report FILE: the facts of every frame of the run, as CSV when FILE ends in .csv (written as
// the frames come) and as JSON otherwise (written at the end, when the runs and segments are
// known). Like the pictures, the file is written under a temporary name and put in place with
// them: a failed or interrupted run leaves FILE as it was.
class ReportOutput {
 public:
  // Creates the temporary file. Throws ToolError when it cannot be created.
  ReportOutput(const std::string& path, VideoSystem system);

  // Reads the facts of frame `frameNumber` and adds them to the report, with the blocks its
  // decode left unfinished where it was decoded; the frames come in order, without gaps. Throws
  // ToolError on a write error.
  const report::FrameEntry& Add(std::int64_t frameNumber, const std::uint8_t* frame,
                                std::size_t bytes,
                                std::optional<std::uint32_t> unfinishedBlocks = std::nullopt);

  // Completes the file and closes it, ready to be put in place.
  void Finish();
  // Puts the finished file in place on its own (interrupts held off meanwhile).
  void Commit() { file_.Commit(); }
  // Puts the finished file in place inside another output's commit; false when the rename failed.
  bool PlaceWithin() { return file_.PlaceWithin(); }

  const std::string& Path() const { return file_.Path(); }
  bool Existed() const { return file_.Existed(); }
  bool WrittenDirectly() const { return file_.WrittenDirectly(); }
  const report::Summary& Totals() const { return builder_.Totals(); }

 private:
  void WritePending();

  OutputFile file_;
  VideoSystem system_;
  report::ReportBuilder builder_;
  std::ostringstream pending_;  // CSV lines not yet written to the file
  std::unique_ptr<report::CsvReport> csv_;
};

}  // namespace halvaris::decode_tool
