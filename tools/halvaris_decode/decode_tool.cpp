#include "decode_tool.h"

#include <csignal>
#include <filesystem>
#include <memory>
#include <new>

#include "frame_pipeline.h"
#include "frame_source.h"
#include "halvaris_build_version.h"
#include "options.h"
#include "picture_writers.h"
#include "progress.h"
#include "tool_error.h"

namespace halvaris::decode_tool {

namespace {

volatile std::sig_atomic_t interruptRequested = 0;

extern "C" void OnInterrupt(int) {
  interruptRequested = 1;
}

void Say(std::FILE* messages, const std::string& text) {
  std::fprintf(messages, "halvaris-decode: %s\n", text.c_str());
  std::fflush(messages);
}

// What the decoder has to tell (a worker or a buffer it could not have), printed as it comes.
void PrintDecoderMessage(void* messages, const char* text, const char* caption) {
  std::fprintf(static_cast<std::FILE*>(messages), "%s: %s\n", caption, text);
  std::fflush(static_cast<std::FILE*>(messages));
}

void RefuseSameFile(const std::string& input, const std::string& output) {
  if (input == "-" || output == "-") return;
  std::error_code error;
  if (std::filesystem::equivalent(input, output, error)) {
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

int Run(const std::vector<std::string>& arguments, std::FILE* messages,
        std::unique_ptr<Progress>& progress) {
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
  RefuseSameFile(options.input, options.output);
  if (options.output == "-" && IsTerminal(stdout)) {
    throw ToolError(
        "standard output is a terminal: name an OUTPUT file, or pipe it into a program "
        "(for example | ffplay -)");
  }

  OpenedInput input = OpenInput(options.input, options.system);
  for (const std::string& warning : input.warnings) Say(messages, "warning: " + warning);
  if (!options.quiet) {
    Say(messages,
        (options.input == "-" ? std::string("standard input") : options.input) + ": " +
            input.found + "; " + DescribeSystem(input.system) + ", system " +
            std::to_string(input.system) +
            (options.system != 0 ? " (as --system says)" : " (from the stream's own data)"));
  }

  const std::int64_t selected = SelectedFrameCount(options.frames, input.source->FrameCount());
  OutputSettings settings;
  settings.format = format;
  settings.path = options.output;
  settings.system = input.system;
  settings.fieldOrder = input.fieldOrder;
  settings.displaySize = options.displaySize;
  settings.frameCount = selected;
  std::unique_ptr<PictureWriter> writer = MakePictureWriter(settings);

  const HalvarisSystemInfo& geometry = GeometryOf(input.system);
  FramePipeline output(*writer, input.system, options.threads, PrintDecoderMessage, messages);
  std::vector<std::uint8_t> frame;
  progress = std::make_unique<Progress>(messages, options.quiet, IsTerminal(messages), selected);

  input.source->SkipTo(options.frames.firstFrame);
  std::int64_t frameNumber = options.frames.firstFrame;
  while ((options.frames.lastFrame < 0 || frameNumber <= options.frames.lastFrame) &&
         input.source->ReadFrame(frame)) {
    if (interruptRequested) {
      throw ToolError(options.output == "-" ? "interrupted"
                                            : "interrupted; the output was removed");
    }
    if (frame.size() < geometry.frameBytes) {
      progress->ClearLine();
      Say(messages, "warning: frame " + std::to_string(frameNumber) + " is cut short (" +
                        std::to_string(frame.size()) + " of " +
                        std::to_string(geometry.frameBytes) +
                        " bytes); its missing bytes are decoded as zero");
    }
    output.Decode(frame, frameNumber);
    progress->FrameDone();
    ++frameNumber;
  }
  if (progress->FramesDone() == 0) {
    throw ToolError("the input ends before frame " + std::to_string(options.frames.firstFrame));
  }
  output.Finish();
  progress->Finish();
  return 0;
}

}  // namespace

int RunDecodeTool(const std::vector<std::string>& arguments, std::FILE* messages) {
  std::unique_ptr<Progress> progress;
  std::string error;
  try {
    return Run(arguments, messages, progress);
  } catch (const ToolError& failure) {
    error = failure.what();
  } catch (const std::bad_alloc&) {
    error = "out of memory";
  } catch (const std::exception& failure) {
    error = failure.what();
  }
  if (progress) progress->ClearLine();
  Say(messages, "error: " + error);
  return 1;
}

void StopCleanlyOnInterrupt() {
  std::signal(SIGINT, OnInterrupt);
#ifdef SIGTERM
  std::signal(SIGTERM, OnInterrupt);
#endif
}

}  // namespace halvaris::decode_tool
