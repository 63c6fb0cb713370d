#include "decode_tool.h"

#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "frame_pipeline.h"
#include "frame_source.h"
#include "halvaris_build_version.h"
#include "interruption.h"
#include "options.h"
#include "picture_writers.h"
#include "progress.h"
#include "tool_error.h"

namespace halvaris::decode_tool {

namespace {

void Say(std::FILE* messages, const std::string& text) {
  std::fprintf(messages, "halvaris-decode: %s\n", text.c_str());
  std::fflush(messages);
}

// What the decoder has to tell (a worker or a buffer it could not have), printed as it comes.
// A message the decoder repeats for every frame is printed once, and counted.
class DecoderMessages {
 public:
  explicit DecoderMessages(std::FILE* messages) : messages_(messages) {}

  static void Print(void* self, const char* text, const char* caption) {
    static_cast<DecoderMessages*>(self)->Print(std::string(caption) + ": " + text);
  }

  // "the decoder said "..." 41 more times", or nothing.
  void SayRepeats() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [text, count] : counts_) {
      if (count > 1) {
        Say(messages_, "the decoder said \"" + text + "\" " + std::to_string(count - 1) +
                           " more time" + (count == 2 ? "" : "s"));
      }
    }
  }

 private:
  void Print(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (counts_[line]++ > 0) return;
    std::fprintf(messages_, "%s\n", line.c_str());
    std::fflush(messages_);
  }

  std::FILE* messages_;
  std::mutex mutex_;
  std::map<std::string, long long> counts_;
};

// No output may be written over the input, whatever names or links lead to it.
void RefuseSameFile(const OpenedInput& input, const std::string& output) {
  if (output == "-") {
    if (IdentityOfStream(stdout).SameFileAs(input.identity)) {
      throw ToolError("standard output is the input file itself (" + input.name + ")");
    }
    return;
  }
  if (IdentityOfPath(output).SameFileAs(input.identity)) {
    throw ToolError("OUTPUT is the same file as INPUT: " + output);
  }
}

// Frames that will be decoded, or -1 when the input's length is not known.
std::int64_t SelectedFrameCount(const FrameRange& range, std::int64_t frameCount) {
  if (frameCount < 0) return range.lastFrame >= 0 ? range.lastFrame - range.firstFrame + 1 : -1;
  if (range.firstFrame >= frameCount) {
    throw ToolError("--frames starts at frame " + std::to_string(range.firstFrame) +
                    " but the input has " + std::to_string(frameCount) + " frame" +
                    (frameCount == 1 ? "" : "s") + " (counted from 0)");
  }
  const std::int64_t last =
      range.lastFrame >= 0 && range.lastFrame < frameCount ? range.lastFrame : frameCount - 1;
  return last - range.firstFrame + 1;
}

struct RunState {
  std::unique_ptr<Progress> progress;
  std::unique_ptr<PictureWriter> writer;
};

int Run(const std::vector<std::string>& arguments, std::FILE* messages, RunState& run) {
  const DecodeOptions options = ParseArguments(arguments);
  if (options.help) {
    std::fputs(UsageText(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("halvaris-decode %s (libhalvaris %s)\n", HALVARIS_VERSION_STRING,
                halvaris_version());
    return 0;
  }
  const OutputFormat format = ChooseOutputFormat(options);
  if (options.output == "-" && IsTerminal(stdout)) {
    throw ToolError(
        "standard output is a terminal: name an OUTPUT file, or pipe it into a program "
        "(for example | ffplay -)");
  }
  if (options.input == "-" && IsTerminal(stdin)) {
    throw ToolError(
        "standard input is a terminal: name an INPUT file, or pipe a stream into the program "
        "(for example cat clip.dif | halvaris-decode - clip.y4m)");
  }

  OpenedInput input = OpenInput(options.input, options.system);
  RefuseSameFile(input, options.output);
  for (const std::string& warning : input.warnings) Say(messages, "warning: " + warning);
  if (!options.quiet) {
    Say(messages, input.name + ": " + input.found + "; " + DescribeSystem(input.system) +
                      ", system " + std::to_string(input.system) + " (" + input.systemSource + ")");
  }

  const std::int64_t frameCount = input.source->FrameCount();
  const std::int64_t selected = SelectedFrameCount(options.frames, frameCount);
  if (frameCount >= 0 && options.frames.lastFrame >= frameCount) {
    const std::int64_t last = frameCount - 1;
    Say(messages, "warning: the input has " + std::to_string(frameCount) +
                      " frames (counted from 0): " +
                      (options.frames.firstFrame == last
                           ? "only frame " + std::to_string(last) + " is decoded"
                           : "frames " + std::to_string(options.frames.firstFrame) + " to " +
                                 std::to_string(last) + " are decoded"));
  }
  OutputSettings settings;
  settings.format = format;
  settings.path = options.output;
  settings.system = input.system;
  settings.fieldOrder = input.fieldOrder;
  settings.displaySize = options.displaySize;
  settings.firstFrame = options.frames.firstFrame;
  settings.frameCount = selected;
  settings.input = input.identity;
  run.writer = MakePictureWriter(settings);

  DecoderMessages decoderMessages(messages);
  const HalvarisSystemInfo& geometry = GeometryOf(input.system);
  FramePipeline output(*run.writer, input.system, options.threads, DecoderMessages::Print,
                       &decoderMessages);
  std::vector<std::uint8_t> frame;
  run.progress =
      std::make_unique<Progress>(messages, options.quiet, IsTerminal(messages), selected);
  Progress& progress = *run.progress;

  input.source->SkipTo(options.frames.firstFrame);
  std::int64_t frameNumber = options.frames.firstFrame;
  SystemWatch systems;
  std::string stoppedBecause;
  try {
    while ((options.frames.lastFrame < 0 || frameNumber <= options.frames.lastFrame) &&
           input.source->ReadFrame(frame)) {
      if (interruption::InterruptRequested()) throw ToolError(interruption::Report());
      stoppedBecause = systems.Check(frame.data(), frame.size(), frameNumber);
      if (!stoppedBecause.empty()) break;
      if (frame.size() < geometry.frameBytes) {
        progress.ClearLine();
        Say(messages, "warning: frame " + std::to_string(frameNumber) + " is cut short (" +
                          std::to_string(frame.size()) + " of " +
                          std::to_string(geometry.frameBytes) +
                          " bytes); its missing bytes are decoded as zero");
      }
      output.Decode(frame, frameNumber);
      progress.FrameDone();
      ++frameNumber;
    }
  } catch (...) {
    output.WriteDecodedPictures();
    throw;
  }
  if (interruption::InterruptRequested()) throw ToolError(interruption::Report());
  if (progress.FramesDone() == 0) {
    if (!stoppedBecause.empty()) throw ToolError(stoppedBecause);
    throw ToolError("the input ends before frame " + std::to_string(options.frames.firstFrame));
  }
  if (frameCount < 0 && options.frames.lastFrame >= frameNumber && stoppedBecause.empty()) {
    Say(messages, "warning: the input ends after frame " + std::to_string(frameNumber - 1) +
                      ", before frame " + std::to_string(options.frames.lastFrame) +
                      " that --frames asks for");
  }
  output.Finish();
  decoderMessages.SayRepeats();
  if (!stoppedBecause.empty()) {
    // What was decoded before the other system is a complete output of its own.
    const std::int64_t done = progress.FramesDone();
    throw ToolError(stoppedBecause + "; stopped there, " +
                    (options.output == "-" ? std::string("standard output") : options.output) +
                    " holds the " + std::to_string(done) + " frame" + (done == 1 ? "" : "s") +
                    " before it");
  }
  progress.Finish();
  return 0;
}

}  // namespace

int RunDecodeTool(const std::vector<std::string>& arguments, std::FILE* messages) {
  RunState run;
  std::string error;
  try {
    return Run(arguments, messages, run);
  } catch (const ToolError& failure) {
    error = failure.what();
  } catch (const std::bad_alloc&) {
    error = "out of memory";
  } catch (const std::exception& failure) {
    error = failure.what();
  }
  if (run.progress) run.progress->ClearLine();
  if (run.writer && !interruption::InterruptRequested()) error += run.writer->FailureNote();
  run.writer.reset();  // a single output file is left as it was
  Say(messages, "error: " + error);
  return 1;
}

void StopCleanlyOnInterrupt(std::FILE* messages) {
  interruption::CatchInterrupts(messages);
}

}  // namespace halvaris::decode_tool
