#include "decode_tool.h"

#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "frame_pipeline.h"
#include "halvaris_build_version.h"
#include "interruption.h"
#include "media_names.h"
#include "mxf/p2_card.h"
#include "options.h"
#include "picture_writers.h"
#include "progress.h"
#include "reader_messages.h"
#include "report/broadcast_origin.h"
#include "report/summary_text.h"
#include "report_output.h"
#include "sound_output.h"
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

bool IsInputFile(const OpenedInput& input, const FileIdentity& identity) {
  if (identity.SameFileAs(input.identity)) return true;
  for (const FileIdentity& other : input.otherFiles) {
    if (identity.SameFileAs(other)) return true;
  }
  return false;
}

std::string WhichInputFile(const OpenedInput& input, const FileIdentity& identity) {
  return identity.SameFileAs(input.identity) ? "INPUT" : "a file of the input";
}

// The file an output named `path` is written to: "-" is standard output.
FileIdentity IdentityOfOutput(const std::string& path) {
  return path == "-" ? IdentityOfStream(stdout) : IdentityOfPath(path);
}

// The report may be written over neither an input file nor another output.
void RefuseReportOverOtherFiles(const OpenedInput& input, const DecodeOptions& options) {
  const std::string& report = options.report;
  if (report.empty()) return;
  const FileIdentity identity = IdentityOfOutput(report);
  if (IsInputFile(input, identity)) {
    throw ToolError("--report " + report + " is the same file as " +
                    WhichInputFile(input, identity));
  }
  const std::string& output = options.output;
  if (!output.empty()) {
    const FileIdentity pictures = IdentityOfOutput(output);
    if ((report == "-" && output == "-") || identity.SameFileAs(pictures)) {
      throw ToolError("--report " + report + " is the same file as OUTPUT");
    }
  }
  if (!options.audio.empty() &&
      (report == options.audio || identity.SameFileAs(IdentityOfPath(options.audio)))) {
    throw ToolError("--report " + report + " is the same file as --audio " + options.audio);
  }
}

// No output may be written over an input file, whatever names or links lead to it, nor the sound
// over the pictures.
void RefuseSameFile(const OpenedInput& input, const DecodeOptions& options) {
  RefuseReportOverOtherFiles(input, options);
  const std::string& output = options.output;
  if (output.empty()) {
    // Only the report and the sound are written.
  } else if (output == "-") {
    const FileIdentity standardOutput = IdentityOfStream(stdout);
    if (IsInputFile(input, standardOutput)) {
      throw ToolError(standardOutput.SameFileAs(input.identity)
                          ? "standard output is the input file itself (" + input.name + ")"
                          : "standard output is a file of the input (" + input.name + ")");
    }
  } else if (const FileIdentity pictures = IdentityOfPath(output); IsInputFile(input, pictures)) {
    throw ToolError("OUTPUT is the same file as " + WhichInputFile(input, pictures) + ": " +
                    output);
  }
  if (options.audio.empty()) return;
  const FileIdentity audio = IdentityOfPath(options.audio);
  if (IsInputFile(input, audio)) {
    throw ToolError("--audio " + options.audio + " is the same file as " +
                    WhichInputFile(input, audio));
  }
  if (output.empty()) return;
  const FileIdentity pictures = IdentityOfOutput(output);
  if (audio.SameFileAs(pictures) || (!audio.known && options.audio == output)) {
    throw ToolError("--audio " + options.audio + " is the same file as OUTPUT");
  }
}

// "0:01:02.436" for `frames` frames of `system`.
std::string DurationOf(std::int64_t frames, VideoSystem system) {
  const HalvarisSystemInfo& geometry = GeometryOf(system);
  const std::int64_t milliseconds =
      frames * 1000 * geometry.frameRateDenominator / geometry.frameRateNumerator;
  char text[48];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld",
                static_cast<long long>(milliseconds / 3600000),
                static_cast<long long>(milliseconds / 60000 % 60),
                static_cast<long long>(milliseconds / 1000 % 60),
                static_cast<long long>(milliseconds % 1000));
  return text;
}

// The clips of a card, one line each, on standard output.
void ListCardClips(const std::string& card) {
  const std::vector<mxf::P2ClipSummary> clips = mxf::ListP2Clips(card);
  std::printf("%s holds %zu clip%s:\n", card.c_str(), clips.size(), clips.size() == 1 ? "" : "s");
  for (const mxf::P2ClipSummary& clip : clips) {
    if (!clip.problem.empty()) {
      std::printf("  %-8s cannot be read: %s\n", clip.name.c_str(), clip.problem.c_str());
      continue;
    }
    std::printf("  %-8s %6lld frames  %s  %s, system %d\n", clip.name.c_str(),
                static_cast<long long>(clip.frames), DurationOf(clip.frames, clip.system).c_str(),
                DescribeSystem(clip.system).c_str(), clip.system);
  }
  std::fflush(stdout);
}

// Frames that will be decoded, or -1 when the input's length is not known.
std::int64_t SelectedFrameCount(const FrameRange& range, std::int64_t frameCount) {
  if (frameCount < 0) {
    // Not known either when the range is as long as a frame number can count.
    const bool countable = range.lastFrame >= 0 && range.lastFrame - range.firstFrame <
                                                       std::numeric_limits<std::int64_t>::max();
    return countable ? range.lastFrame - range.firstFrame + 1 : -1;
  }
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
  std::string inputPath;  // INPUT as given, for the readers' errors
  std::unique_ptr<Progress> progress;
  OpenedInput input;                      // before the sound, which may read it
  std::unique_ptr<PictureWriter> writer;  // none when only the frames' facts are read
  std::unique_ptr<SoundOutput> sound;
  std::unique_ptr<ReportOutput> report;
};

// What an interrupt leaves of the sound and the report, those not yet in place ("out.wav is left
// as it was; report.csv was not written").
std::string UnplacedOutputsNote(const SoundOutput* sound, const ReportOutput* report) {
  std::string note;
  auto add = [&](const std::string& path, bool existed) {
    note +=
        (note.empty() ? "" : "; ") + path + (existed ? " is left as it was" : " was not written");
  };
  if (sound != nullptr) add(sound->Path(), sound->Existed());
  if (report != nullptr && !report->WrittenDirectly()) add(report->Path(), report->Existed());
  return note;
}

// A decode that paints, in each decoded picture, the macroblocks that the device that wrote the
// frame concealed or passed on with errors (what --mark-damage asks for), and counts the blocks
// left unfinished as halvaris_decode_frame_counting does.
int DecodeCountingAndMarkDamage(HalvarisDecoder* decoder, int system, const std::uint8_t* frame,
                                std::size_t frameBytes, std::uint8_t* picture, std::ptrdiff_t pitch,
                                std::size_t pictureBytes, std::uint32_t* unfinishedBlocks) {
  const int result = halvaris_decode_frame_counting(decoder, system, frame, frameBytes, picture,
                                                    pitch, pictureBytes, unfinishedBlocks);
  if (result != HALVARIS_OK) return result;
  // One plain red, whatever the system's colour space: easy to tell from the pictures.
  const int painted = halvaris_mark_damage(system, frame, frameBytes,
                                           HALVARIS_STA_CONCEALED_MASK | HALVARIS_STA_ERROR_MASK,
                                           picture, pitch, pictureBytes, 81, 90, 240);
  return painted < 0 ? painted : HALVARIS_OK;
}

int DecodeAndMarkDamage(HalvarisDecoder* decoder, int system, const std::uint8_t* frame,
                        std::size_t frameBytes, std::uint8_t* picture, std::ptrdiff_t pitch,
                        std::size_t pictureBytes) {
  return DecodeCountingAndMarkDamage(decoder, system, frame, frameBytes, picture, pitch,
                                     pictureBytes, nullptr);
}

// Opens what --audio asks for; no sound output (after a warning) when the input's sound is not
// read.
std::unique_ptr<SoundOutput> OpenSoundOutput(const DecodeOptions& options, OpenedInput& input,
                                             std::FILE* messages) {
  std::vector<std::string> warnings;
  std::unique_ptr<FrameSound> sound = input.openSound ? input.openSound(warnings) : nullptr;
  // The reader gives its reason last when it leaves the sound unread.
  if (sound == nullptr && !warnings.empty()) warnings.back() += ", so no WAV file is written";
  for (const std::string& warning : warnings) Say(messages, "warning: " + warning);
  if (sound == nullptr) return nullptr;
  return std::make_unique<SoundOutput>(options.audio, std::move(sound));
}

// Puts the sound and the report in place one after the other, each under its own hold against
// interrupts.
void CommitOnTheirOwn(SoundOutput* sound, ReportOutput* report) {
  if (sound != nullptr) {
    sound->Commit();
    interruption::SetCompanionReport(UnplacedOutputsNote(nullptr, report));
  }
  if (report != nullptr) report->Commit();
  interruption::SetCompanionReport("");
}

// Completes the sound and the report and puts them in place with the pictures (see
// PlaceTogetherWith), or on their own where the pictures have no moment of their own or there are
// none.
void FinishOutputs(FramePipeline* output, RunState& run, std::FILE* messages) {
  SoundOutput* sound = run.sound.get();
  ReportOutput* report = run.report.get();
  // The decoded frames' facts reach the report as their pictures are written.
  if (output != nullptr) output->WriteDecodedPictures();
  if (sound != nullptr) {
    sound->Finish();
    if (sound->Silenced() > 0) {
      Say(messages, "warning: " + std::to_string(sound->Silenced()) + " sound sample" +
                        (sound->Silenced() == 1 ? " was missing or marked as damaged and is"
                                                : "s were missing or marked as damaged and are") +
                        " written as silence (each channel's counted)");
    }
  }
  if (report != nullptr) {
    report->Finish();
    // Written as it came, on standard output: there is nothing to put in place.
    if (report->WrittenDirectly()) {
      report->Commit();
      report = nullptr;
    }
  }
  if (output == nullptr) {
    CommitOnTheirOwn(sound, report);
    return;
  }
  if (sound == nullptr && report == nullptr) {
    output->Finish();
    return;
  }
  std::string names = sound != nullptr ? sound->Path() : "";
  if (report != nullptr) names += (names.empty() ? "" : " and ") + report->Path();
  enum { NotTried, Placed, Failed } placing = NotTried;
  std::string failed;
  run.writer->PlaceTogetherWith(names, [&] {
    if (sound != nullptr && !sound->PlaceWithin()) {
      failed = sound->Path();
    } else if (report != nullptr && !report->PlaceWithin()) {
      failed = report->Path();
    }
    placing = failed.empty() ? Placed : Failed;
    return placing == Placed;
  });
  output->Finish();
  if (placing == Failed) throw ToolError("cannot put " + failed + " in place");
  if (placing == NotTried) CommitOnTheirOwn(sound, report);
}

// --help, --version and a card's clip list: answered without decoding. Lists a card's clips
// before the run fails for want of --clip, too.
bool AnswerWithoutDecoding(const DecodeOptions& options) {
  if (options.help) {
    std::fputs(UsageText(), stdout);
    return true;
  }
  if (options.version) {
    std::printf("halvaris-decode %s (libhalvaris %s)\n", HALVARIS_VERSION_STRING,
                halvaris_version());
    return true;
  }
  if (options.output.empty() && options.report.empty()) {
    ListCardClips(options.input);
    return true;
  }
  if (options.clip.empty() && IsCardFolder(options.input) &&
      mxf::P2ClipNames(options.input).size() != 1) {
    ListCardClips(options.input);
  }
  return false;
}

void RefuseTerminals(const DecodeOptions& options) {
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
}

// Opens INPUT, checks that no output is written over it, and says what it is.
void OpenAndDescribeInput(const DecodeOptions& options, std::FILE* messages, RunState& run) {
  std::error_code ignored;
  if (!options.clip.empty() &&
      (options.input == "-" || !std::filesystem::is_directory(options.input, ignored))) {
    throw ToolError("--clip names a clip of a P2 card, but " + options.input +
                    " is not a card's folder");
  }
  run.input = OpenInput(options.input, options.system, options.clip);
  const OpenedInput& input = run.input;
  RefuseSameFile(input, options);
  for (const std::string& warning : input.warnings) Say(messages, "warning: " + warning);
  if (!options.quiet) {
    const std::string systemSource = input.systemForced ? "as --system says" : input.systemSource;
    Say(messages, input.name + ": " + input.description + "; " + DescribeSystem(input.system) +
                      ", system " + std::to_string(input.system) + " (" + systemSource + ")");
  }
}

// The frames of segment `number` (counted from 1), found by reading the frames' facts from the
// start of the input up to the segment's end; the frames are then read again from its first.
FrameRange FindSegment(long long number, OpenedInput& input) {
  if (!input.source->Seekable()) {
    throw ToolError("--segment reads the input twice (first to find where the segment is), but " +
                    input.name + " is a stream, read once: save it to a file first");
  }
  report::ReportBuilder segments;
  std::vector<std::uint8_t> frame;
  SystemWatch systems;
  input.source->SkipTo(0);
  for (std::int64_t frameNumber = 0; input.source->ReadFrame(frame); ++frameNumber) {
    if (interruption::InterruptRequested()) throw ToolError(interruption::Report());
    // The decode stops at a frame of another system: no segment goes on past it.
    if (!systems.Check(frame.data(), frame.size(), frameNumber).empty()) break;
    segments.Add(FactsOf(frameNumber, frame.data(), frame.size(), input.system));
    if (segments.Segments().size() > static_cast<std::size_t>(number)) break;
  }
  const std::size_t found = segments.Segments().size();
  if (found < static_cast<std::size_t>(number)) {
    throw ToolError("--segment " + std::to_string(number) + ": the input has " +
                    std::to_string(found) + " segment" + (found == 1 ? "" : "s") +
                    " (see --report)");
  }
  const report::Segment& segment = segments.Segments()[static_cast<std::size_t>(number - 1)];
  FrameRange range;
  range.firstFrame = static_cast<long long>(segment.firstFrame);
  range.lastFrame = static_cast<long long>(segment.lastFrame);
  return range;
}

// The frames --frames selects, and a warning when the input ends before its last one.
std::int64_t SelectFrames(const DecodeOptions& options, std::int64_t frameCount,
                          std::FILE* messages) {
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
  return selected;
}

// Reads and decodes the selected frames, with their sound and their facts; without `output` only
// reads them. Returns why the run stopped before the end of the selection (a frame of another
// system), or "".
std::string DecodeFrames(const DecodeOptions& options, FramePipeline* output, RunState& run,
                         std::FILE* messages) {
  OpenedInput& input = run.input;
  const HalvarisSystemInfo& geometry = GeometryOf(input.system);
  Progress& progress = *run.progress;
  std::vector<std::uint8_t> frame;
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
      // The facts and the sound are taken from the compressed frame, before the pipeline takes
      // the frame over; the facts of a decoded frame reach the report as its picture is written,
      // with what the decode counted.
      const report::FrameEntry* facts =
          run.report && output == nullptr
              ? &run.report->Add(frameNumber, frame.data(), frame.size())
              : nullptr;
      if (run.sound) {
        run.sound->WriteSoundOf(frameNumber, frame.data(), frame.size(), [&](int sampleRate) {
          return report::BroadcastOriginOf(
              facts != nullptr ? *facts
                               : FactsOf(frameNumber, frame.data(), frame.size(), input.system),
              sampleRate);
        });
      }
      if (output != nullptr) output->Decode(frame, frameNumber);
      progress.FrameDone();
      ++frameNumber;
    }
  } catch (...) {
    if (output != nullptr) output->WriteDecodedPictures();
    throw;
  }
  if (interruption::InterruptRequested()) throw ToolError(interruption::Report());
  if (progress.FramesDone() == 0) {
    if (!stoppedBecause.empty()) throw ToolError(stoppedBecause);
    throw ToolError("the input ends before frame " + std::to_string(options.frames.firstFrame));
  }
  if (input.source->FrameCount() < 0 && options.frames.lastFrame >= frameNumber &&
      stoppedBecause.empty()) {
    Say(messages, "warning: the input ends after frame " + std::to_string(frameNumber - 1) +
                      ", before frame " + std::to_string(options.frames.lastFrame) +
                      " that --frames asks for");
  }
  return stoppedBecause;
}

// The report's summary paragraph, printed whether or not the run is quiet: it is what --report
// was asked for.
void SaySummary(const RunState& run, std::FILE* messages) {
  if (run.report == nullptr) return;
  run.progress->ClearLine();
  Say(messages, report::SummaryText(run.report->Totals()));
}

int Run(const std::vector<std::string>& arguments, std::FILE* messages, RunState& run) {
  DecodeOptions options = ParseArguments(arguments);
  run.inputPath = options.input;
  if (AnswerWithoutDecoding(options)) return 0;
  // Without OUTPUT nothing is decoded: only the frames' facts (and sound) are read.
  const bool decodes = !options.output.empty();
  const OutputFormat format = decodes ? ChooseOutputFormat(options) : OutputFormat::Yuy2;
  RefuseTerminals(options);
  OpenAndDescribeInput(options, messages, run);
  OpenedInput& input = run.input;
  if (options.segment > 0) {
    options.frames = FindSegment(options.segment, input);
    if (!options.quiet) {
      Say(messages, "segment " + std::to_string(options.segment) + ": frames " +
                        std::to_string(options.frames.firstFrame) + " to " +
                        std::to_string(options.frames.lastFrame));
    }
  }

  const std::int64_t selected = SelectFrames(options, input.source->FrameCount(), messages);
  if (decodes) {
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
  }
  if (!options.audio.empty()) run.sound = OpenSoundOutput(options, input, messages);
  if (!options.report.empty()) {
    run.report = std::make_unique<ReportOutput>(options.report, input.system);
  }
  interruption::SetCompanionReport(UnplacedOutputsNote(run.sound.get(), run.report.get()));

  DecoderMessages decoderMessages(messages);
  std::unique_ptr<FramePipeline> output;
  if (decodes) {
    const HalvarisMessageCallback print = DecoderMessages::Print;
    const FramePipeline::DecodeCall decode =
        options.markDamage ? DecodeAndMarkDamage : halvaris_decode_frame;
    output = std::make_unique<FramePipeline>(*run.writer, input.system, options.threads, print,
                                             &decoderMessages, decode);
    if (run.report) {
      output->CountUnfinishedBlocks(
          options.markDamage ? DecodeCountingAndMarkDamage : halvaris_decode_frame_counting,
          [&run](std::int64_t frameNumber, const std::vector<std::uint8_t>& frame,
                 std::uint32_t unfinishedBlocks) {
            run.report->Add(frameNumber, frame.data(), frame.size(), unfinishedBlocks);
          });
    }
  }
  run.progress = std::make_unique<Progress>(messages, options.quiet, IsTerminal(messages), selected,
                                            decodes ? "decoded" : "read");
  const std::string stoppedBecause = DecodeFrames(options, output.get(), run, messages);
  FinishOutputs(output.get(), run, messages);
  decoderMessages.SayRepeats();
  if (!stoppedBecause.empty()) {
    SaySummary(run, messages);
    // What was decoded before the other system is a complete output of its own.
    const std::int64_t done = run.progress->FramesDone();
    const std::string holder = !decodes                ? options.report
                               : options.output == "-" ? std::string("standard output")
                                                       : options.output;
    throw ToolError(stoppedBecause + "; stopped there, " + holder + " holds the " +
                    std::to_string(done) + " frame" + (done == 1 ? "" : "s") + " before it");
  }
  run.progress->Finish();
  SaySummary(run, messages);
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
  } catch (const MediaError& failure) {
    error = ProgramMessage(failure, run.inputPath);
  } catch (const std::bad_alloc&) {
    error = "out of memory";
  } catch (const std::exception& failure) {
    error = failure.what();
  }
  if (run.progress) run.progress->ClearLine();
  if (run.writer && !interruption::InterruptRequested()) error += run.writer->FailureNote();
  run.writer.reset();  // a single output file is left as it was
  run.sound.reset();   // and so are the sound's
  run.report.reset();  // and the report's
  Say(messages, "error: " + error);
  return 1;
}

void StopCleanlyOnInterrupt(std::FILE* messages) {
  interruption::CatchInterrupts(messages);
}

}  // namespace halvaris::decode_tool
