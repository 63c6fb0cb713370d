#pragma once

#include <string>
#include <vector>

#include "media_names.h"

namespace halvaris::decode_tool {

enum class OutputFormat { FromName, Yuy2, Y4m, Png };

// Frames counted from 0, both ends included; lastFrame < 0 means "to the end of the input".
struct FrameRange {
  long long firstFrame = 0;
  long long lastFrame = -1;
};

struct DecodeOptions {
  bool help = false;
  bool version = false;
  VideoSystem system = 0;  // 0: found from the stream's own data
  int threads = 0;         // frames decoded at a time; 0: one per processor
  FrameRange frames;
  bool framesGiven = false;  // --frames was given
  long long segment = 0;     // --segment: the segment to decode, counted from 1; 0: none
  bool quiet = false;
  OutputFormat format = OutputFormat::FromName;
  bool displaySize = false;  // PNG pictures scaled to the width the picture is meant to be seen at
  std::string audio;         // --audio: the WAV file the sound goes to, or empty
  std::string clip;          // --clip: the clip of a P2 card to decode
  std::string report;        // --report: the file the frames' facts go to, or empty
  bool markDamage = false;   // --mark-damage: paint flagged macroblocks in the pictures
  std::string input;
  // Empty when only INPUT is given: a card's clips are listed, or with --report only the frames'
  // facts are read.
  std::string output;
};

// True when the report is written as CSV (its name ends in .csv), false for JSON.
bool ReportIsCsv(const std::string& path);

// Reads the command line (without the program name). Throws ToolError on anything it cannot use.
DecodeOptions ParseArguments(const std::vector<std::string>& arguments);

// The format the output is written in: --format, else the ending of OUTPUT ("-" is YUV4MPEG2).
// Throws ToolError when neither says.
OutputFormat ChooseOutputFormat(const DecodeOptions& options);

const char* UsageText();

}  // namespace halvaris::decode_tool
