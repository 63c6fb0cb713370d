#include "options.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <limits>

#include "media_names.h"
#include "tool_error.h"

namespace halvaris::decode_tool {

namespace {

// Whole non-negative decimal numbers only: "12abc", "-3" and "" are refused, not half-read, and
// so is a number past the largest long long (`tooLarge` then says so).
bool ParseCount(const std::string& text, long long& value, bool* tooLarge = nullptr) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  errno = 0;
  value = std::strtoll(text.c_str(), nullptr, 10);
  if (errno == ERANGE) {
    if (tooLarge != nullptr) *tooLarge = true;
    return false;
  }
  return true;
}

FrameRange ParseFrameRange(const std::string& text) {
  const std::string::size_type dash = text.find('-');
  FrameRange range;
  bool good = false;
  bool tooLarge = false;
  if (dash == std::string::npos) {
    good = ParseCount(text, range.firstFrame, &tooLarge);
    range.lastFrame = range.firstFrame;
  } else {
    const std::string last = text.substr(dash + 1);
    good = ParseCount(text.substr(0, dash), range.firstFrame, &tooLarge) &&
           (last.empty() || ParseCount(last, range.lastFrame, &tooLarge));
    if (last.empty()) range.lastFrame = -1;
  }
  if (tooLarge) {
    throw ToolError("--frames " + text + ": frame numbers go no higher than " +
                    std::to_string(std::numeric_limits<long long>::max()));
  }
  if (!good) {
    throw ToolError(
        "--frames takes FIRST-LAST, FIRST- or one frame number (counted from 0), not \"" + text +
        "\"");
  }
  if (range.lastFrame >= 0 && range.lastFrame < range.firstFrame) {
    throw ToolError("--frames " + text + ": the last frame comes before the first");
  }
  return range;
}

OutputFormat ParseFormat(const std::string& text) {
  if (text == "yuy2") return OutputFormat::Yuy2;
  if (text == "y4m") return OutputFormat::Y4m;
  if (text == "png") return OutputFormat::Png;
  throw ToolError("--format takes yuy2, y4m or png, not \"" + text + "\"");
}

bool EndsWith(const std::string& text, const std::string& ending) {
  if (text.size() < ending.size()) return false;
  for (std::string::size_type i = 0; i < ending.size(); ++i) {
    const char c = text[text.size() - ending.size() + i];
    if (std::tolower(static_cast<unsigned char>(c)) != ending[i]) return false;
  }
  return true;
}

}  // namespace

DecodeOptions ParseArguments(const std::vector<std::string>& arguments) {
  DecodeOptions options;
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string argument = arguments[i];
    if (optionsEnded || argument == "-" || argument.empty() || argument[0] != '-') {
      positional.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    // Both "--name value" and "--name=value".
    std::string value;
    bool hasInlineValue = false;
    const std::string::size_type equals = argument.find('=');
    if (argument.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      value = argument.substr(equals + 1);
      argument.resize(equals);
      hasInlineValue = true;
    }
    auto takeValue = [&]() -> std::string {
      if (hasInlineValue) return value;
      if (i + 1 >= arguments.size()) throw ToolError(argument + " needs a value");
      return arguments[++i];
    };
    auto refuseValue = [&]() {
      if (hasInlineValue) throw ToolError(argument + " takes no value");
    };

    if (argument == "--help" || argument == "-h") {
      refuseValue();
      options.help = true;
    } else if (argument == "--version") {
      refuseValue();
      options.version = true;
    } else if (argument == "--quiet" || argument == "-q") {
      refuseValue();
      options.quiet = true;
    } else if (argument == "--display-size") {
      refuseValue();
      options.displaySize = true;
    } else if (argument == "--system") {
      const std::string text = takeValue();
      long long system = 0;
      if (!ParseCount(text, system) || !IsValidVideoSystem(static_cast<int>(system))) {
        throw ToolError("--system takes 1, 2, 3 or 4, not \"" + text + "\"");
      }
      options.system = static_cast<VideoSystem>(system);
    } else if (argument == "--threads") {
      const std::string text = takeValue();
      long long threads = 0;
      if (!ParseCount(text, threads) || threads < 1 || threads > HALVARIS_MAX_WORKERS) {
        throw ToolError("--threads takes a number from 1 to " +
                        std::to_string(HALVARIS_MAX_WORKERS) + ", not \"" + text + "\"");
      }
      options.threads = static_cast<int>(threads);
    } else if (argument == "--frames") {
      options.frames = ParseFrameRange(takeValue());
      options.framesGiven = true;
    } else if (argument == "--segment") {
      const std::string text = takeValue();
      if (!ParseCount(text, options.segment) || options.segment < 1) {
        throw ToolError("--segment takes the number of a segment, counted from 1, not \"" + text +
                        "\"");
      }
    } else if (argument == "--report") {
      options.report = takeValue();
      if (options.report.empty()) {
        throw ToolError("--report takes the name of the report file (.csv, or JSON otherwise)");
      }
    } else if (argument == "--mark-damage") {
      refuseValue();
      options.markDamage = true;
    } else if (argument == "--format") {
      options.format = ParseFormat(takeValue());
    } else if (argument == "--audio") {
      options.audio = takeValue();
      if (options.audio.empty() || options.audio == "-") {
        throw ToolError("--audio takes the name of the WAV file to write");
      }
    } else if (argument == "--clip") {
      options.clip = takeValue();
      if (options.clip.empty()) throw ToolError("--clip takes the name of a clip of the card");
    } else {
      throw ToolError("unknown option " + argument + " (see --help)");
    }
  }
  if (options.help || options.version) return options;
  // A card's folder alone lists its clips; INPUT alone with --report reads the frames' facts.
  const bool inputAlone =
      positional.size() == 1 && (!options.report.empty() || IsCardFolder(positional[0]));
  if (positional.size() != 2 && !inputAlone) {
    throw ToolError(positional.size() < 2
                        ? "needs INPUT and OUTPUT, or INPUT and --report (see --help)"
                        : "too many arguments: \"" + positional[2] + "\" (see --help)");
  }
  options.input = positional[0];
  if (positional.size() == 2) options.output = positional[1];
  if (options.segment > 0 && options.framesGiven) {
    throw ToolError("--segment and --frames both choose the frames: give one of them");
  }
  if (options.markDamage && options.output.empty()) {
    throw ToolError("--mark-damage paints the decoded pictures: it needs OUTPUT");
  }
  if (!options.report.empty() && options.report == options.output) {
    throw ToolError("--report " + options.report + " is the same file as OUTPUT");
  }
  return options;
}

bool ReportIsCsv(const std::string& path) {
  return EndsWith(path, ".csv");
}

OutputFormat ChooseOutputFormat(const DecodeOptions& options) {
  if (options.format != OutputFormat::FromName) return options.format;
  const std::string& name = options.output;
  if (name == "-") return OutputFormat::Y4m;
  if (EndsWith(name, ".yuy2") || EndsWith(name, ".yuyv")) return OutputFormat::Yuy2;
  if (EndsWith(name, ".y4m")) return OutputFormat::Y4m;
  if (EndsWith(name, ".png")) return OutputFormat::Png;
  throw ToolError("cannot tell the output format from \"" + name +
                  "\": name it .yuy2, .y4m or .png, or give --format");
}

const char* UsageText() {
  return R"(Usage: halvaris-decode [OPTIONS] INPUT OUTPUT
       halvaris-decode --report FILE [OPTIONS] INPUT   (reads the frames' facts only)
       halvaris-decode CARD                            (lists the clips of a P2 card)

Decodes DVCPRO HD video to uncompressed pictures, and its sound to WAV.

INPUT   a raw DIF stream (frames one after another), a QuickTime movie (.mov) with a
        DVCPRO HD video track, an MXF file (OP1a or OP-Atom, told by its contents), or a
        P2 card: its folder (the one holding CONTENTS) or a clip's video file under
        CONTENTS/VIDEO. "-" reads standard input. Pipes are read as they come (raw DIF
        only); a movie or an MXF file must be a file, which may also be given as
        "- < clip.mov".
OUTPUT  the ending chooses the format:
          .yuy2  packed 4:2:2 pictures (Y0 Cb Y1 Cr) at the coded size, one after another
          .y4m   YUV4MPEG2, 4:2:2, with frame rate, interlacing and pixel aspect ratio
          .png   one RGB picture per frame (BT.709); put %d (or %05d) in the name for the
                 frame number
        "-" writes YUV4MPEG2 to standard output. A file is written under a temporary name
        and takes its name when complete: a failed or interrupted run leaves an existing
        OUTPUT as it was (of PNG pictures, those written completely are kept).

Options:
  --system N       1 = 1080 lines 60 Hz (1280x1080), 2 = 720 lines 60 Hz (960x720),
                   3 = 1080 lines 50 Hz (1440x1080), 4 = 720 lines 50 Hz (960x720).
                   Without it the system is read from the frames' own header data (or,
                   where they do not say, from a movie's sample description).
  --format F       yuy2, y4m or png, whatever the output is called.
  --frames A-B     decode frames A to B only (counted from 0; "A-" runs to the end).
  --segment N      decode segment N only (counted from 1), pictures and sound: a
                   segment ends where the timecode or the recording time does not go
                   on, or a recording starts (see --report). INPUT must be a file.
  --report FILE    write what each frame says about itself to FILE: timecode,
                   recording date and time, blocks the recording device flagged as
                   concealed or in error, audio error samples; with runs, segments and
                   a summary. CSV when FILE ends in .csv, JSON otherwise. Without
                   OUTPUT nothing is decoded. A summary paragraph ends the run.
  --mark-damage    paint the blocks flagged as concealed or in error in red.
  --audio FILE     write the sound of the decoded frames to the WAV file FILE: every
                   channel, 48 kHz, 16 or 24 bits as stored (RF64 over 4 GB). It comes
                   from sound tracks (MXF, a card's audio files, a movie's PCM tracks),
                   else from the frames' own audio blocks (1080-line systems). A
                   bext chunk gives the first frame's timecode (as samples since
                   midnight) and recording date and time, where the frames have them.
  --clip NAME      the clip of a P2 card to decode (needed when the card holds several).
  --threads N      decode N frames at a time, each on a thread of its own (1 to 8;
                   default: one per processor).
  --display-size   scale PNG pictures to the size they are meant to be seen at
                   (1280x1080 and 1440x1080 to 1920x1080, 960x720 to 1280x720).
  --quiet, -q      print nothing but warnings, errors and the report's summary.
  --help, -h       this text.
  --version        the program's and the decoder library's version.

Examples:
  halvaris-decode clip.mov clip.y4m
  halvaris-decode --clip 0001AB --audio 0001AB.wav /media/card 0001AB.y4m
  halvaris-decode --audio clip.wav clip.mxf clip.y4m
  halvaris-decode clip.mov - | ffplay -
  halvaris-decode clip.mov - | ffmpeg -i - -c:v libx264 clip.mp4
  halvaris-decode --frames 0-9 --display-size clip.dif frame-%03d.png
  halvaris-decode --report tape.csv tape.dif
  halvaris-decode --segment 2 --audio take2.wav tape.dif take2.y4m
  halvaris-decode --system 1 --threads 4 clip.dif clip.yuy2
  cat clip.dif | halvaris-decode --format yuy2 - - > clip.yuy2
)";
}

}  // namespace halvaris::decode_tool
