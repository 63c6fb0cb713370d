// graph-decode: decodes a raw DIF file, a movie, an MXF file or a P2 card clip through a real
// DirectShow graph with the registered decoder filter and writes the pictures that arrive, packed
// YUY2, one after another.
//
//   graph-decode INPUT OUTPUT.yuy2|- [--system N] [--clip NAME] [--repeat N] [--bare]
//   graph-decode --version
//
// "-" as output writes nothing. The media library reads the input a frame at a time and settles
// its video system; --system forces one, --clip names the clip of a card that holds several.
// --repeat sends the frames N times (for speed measurements); --bare decodes with the library
// directly instead of the graph, for comparison.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dvh1_media_type.h"
#include "graph_host/decode_graph.h"
#include "halvaris/halvaris.hpp"
#include "halvaris/media.h"
#include "halvaris_build_version.h"
#include "win32_owners.h"

namespace {

struct Options {
  std::string input;
  std::string output;
  std::string clip;
  int system = 0;
  int repeat = 1;
  bool bare = false;
  bool version = false;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--system" && i + 1 < argc) {
      options.system = std::atoi(argv[++i]);
    } else if (argument == "--clip" && i + 1 < argc) {
      options.clip = argv[++i];
    } else if (argument == "--repeat" && i + 1 < argc) {
      options.repeat = std::atoi(argv[++i]);
    } else if (argument == "--bare") {
      options.bare = true;
    } else if (argument == "--version") {
      options.version = true;
    } else {
      positional.push_back(argument);
    }
  }
  if (options.version) return positional.empty();
  if (positional.size() != 2 || options.repeat < 1) return false;
  options.input = positional[0];
  options.output = positional[1];
  return options.system == 0 || (options.system >= 1 && options.system <= 4);
}

void PrintMessage(void*, const char* text, const char*) {
  std::fprintf(stderr, "graph-decode: %s\n", text);
}

struct MediaCloser {
  void operator()(HalvarisMedia* media) const { halvaris_media_close(media); }
};
using UniqueMedia = std::unique_ptr<HalvarisMedia, MediaCloser>;

// The input opened through the media library, and what it holds.
struct Input {
  UniqueMedia media;
  HalvarisMediaInfo info{};
  HalvarisSystemInfo geometry{};  // of info.system
};

// The library's line, with this program's advice where the user can do something about it.
std::string OpenFailure(int result, const HalvarisMedia* media) {
  std::string line = halvaris_media_last_error(media);
  if (result == HALVARIS_MEDIA_ERROR_UNKNOWN_SYSTEM) line += "; give --system 1..4";
  if (result == HALVARIS_MEDIA_ERROR_CLIP_NEEDED || result == HALVARIS_MEDIA_ERROR_UNKNOWN_CLIP) {
    line += "; give --clip with one of:";
    for (int clip = 0; clip < halvaris_media_clip_count(media); ++clip) {
      line += std::string(" ") + halvaris_media_clip_name(media, clip);
    }
  }
  return line;
}

// Opens the input and reads its facts; prints why and returns false when it cannot.
bool OpenInput(const Options& options, Input& input) {
  HalvarisMediaSettings settings;
  halvaris_media_default_settings(&settings);
  settings.system = options.system;
  settings.clip = options.clip.empty() ? nullptr : options.clip.c_str();
  settings.messageCallback = &PrintMessage;
  HalvarisMedia* opened = nullptr;
  int result = halvaris_media_open(options.input.c_str(), &settings, &opened);
  input.media.reset(opened);
  if (result == HALVARIS_MEDIA_OK) result = halvaris_media_info(opened, &input.info);
  if (result == HALVARIS_MEDIA_OK)
    result = halvaris_system_info(input.info.system, &input.geometry);
  if (result != HALVARIS_MEDIA_OK) {
    std::fprintf(stderr, "graph-decode: %s\n", OpenFailure(result, opened).c_str());
    return false;
  }
  if (input.info.frameCount == 0) {
    std::fprintf(stderr, "graph-decode: %s holds no frames\n", options.input.c_str());
    return false;
  }
  return true;
}

// Hands out the input's frames one at a time, as the source or the bare loop asks for them, and
// keeps what stopped the reading if it was not the end of the input.
class FrameReading {
 public:
  explicit FrameReading(Input& input) : input_(input) {}

  bool Read(std::int64_t index, std::vector<std::uint8_t>& frame) {
    if (!failure_.empty()) return false;
    frame.resize(input_.info.frameBytes);
    std::size_t frameBytes = 0;
    const int result = halvaris_media_read_frame(input_.media.get(), index, frame.data(),
                                                 frame.size(), &frameBytes);
    if (result == HALVARIS_MEDIA_ERROR_END_OF_INPUT) return false;
    if (result != HALVARIS_MEDIA_OK) {
      failure_ = halvaris_media_last_error(input_.media.get());
      return false;
    }
    frame.resize(frameBytes);
    ++framesRead_;
    return true;
  }

  const std::string& Failure() const { return failure_; }
  long long FramesRead() const { return framesRead_; }

 private:
  Input& input_;
  std::string failure_;
  long long framesRead_ = 0;
};

// The output file, or nothing for "-".
class Output {
 public:
  bool Open(const std::string& path) {
    if (path == "-") return true;
    file_ = std::fopen(path.c_str(), "wb");
    return file_ != nullptr;
  }
  ~Output() {
    if (file_) std::fclose(file_);
  }
  void Write(const std::uint8_t* data, std::size_t bytes) {
    if (file_) std::fwrite(data, 1, bytes, file_);
  }

 private:
  std::FILE* file_ = nullptr;
};

struct Run {
  bool ran = false;  // false: the decoding could not start (said why)
  long long delivered = 0;
  double seconds = 0;
};

// A decoder with one worker per processor and the filter's choice of threading, for a
// like-for-like comparison with the graph; empty when it cannot be made.
halvaris::UniqueDecoder MakeBareDecoder() {
  HalvarisSettings settings;
  halvaris_default_settings(&settings);
  const char* threading = std::getenv("HALVARIS_DECODE_THREADS");
  if (threading && std::strcmp(threading, "per-wave") == 0) {
    settings.threadingMode = HALVARIS_THREADS_PER_WAVE;
  }
  settings.messageCallback = &PrintMessage;
  halvaris::UniqueDecoder decoder;
  halvaris::CreateDecoder(&settings, decoder);
  return decoder;
}

Run DecodeBare(const Options& options, const Input& input, FrameReading& reading, Output& output) {
  Run run;
  const halvaris::UniqueDecoder decoder = MakeBareDecoder();
  if (!decoder) {
    std::fprintf(stderr, "graph-decode: the decoder could not be made\n");
    return run;
  }
  run.ran = true;
  std::vector<std::uint8_t> frame;
  std::vector<std::uint8_t> picture(input.geometry.pictureBytes);
  long long sampleNumber = 0;
  const auto started = std::chrono::steady_clock::now();
  for (int round = 0; round < options.repeat; ++round) {
    for (std::int64_t index = 0; reading.Read(index, frame); ++index, ++sampleNumber) {
      const int result =
          halvaris_decode_frame(decoder.get(), input.info.system, frame.data(), frame.size(),
                                picture.data(), 2 * input.geometry.width, picture.size());
      if (result == HALVARIS_OK) {
        ++run.delivered;
      } else {
        std::fprintf(stderr, "graph-decode: frame %lld: %s\n", sampleNumber,
                     halvaris_result_text(result));
      }
      // Written all the same, so that the pictures stay where their frames are.
      output.Write(picture.data(), picture.size());
    }
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return run;
}

Run DecodeThroughGraph(const Options& options, const Input& input, FrameReading& reading,
                       Output& output) {
  Run run;
  const halvaris::win32::ComInitialization com;
  if (FAILED(com.Result())) {
    std::fprintf(stderr, "graph-decode: COM could not be initialised\n");
    return run;
  }
  const std::size_t pictureBytes = input.geometry.pictureBytes;
  halvaris::graph::GraphRequest request;
  request.source.type = halvaris::filter::Dvh1MediaType(input.info.system);
  request.source.supplier = [&reading](std::int64_t index, halvaris::graph::SourceFrame& frame) {
    return reading.Read(index, frame.bytes);
  };
  request.source.largestFrameBytes = input.info.frameBytes;
  request.source.repeat = options.repeat;
  request.source.framePeriod =
      10000000LL * input.info.frameRateDenominator / std::max(1, input.info.frameRateNumerator);
  request.keepSamples = false;
  request.consumer = [&](const std::uint8_t* data, long size) {
    output.Write(data, std::min(pictureBytes, static_cast<std::size_t>(size > 0 ? size : 0)));
  };
  const halvaris::graph::GraphRun graphRun = halvaris::graph::RunDecodeGraph(request);
  if (FAILED(graphRun.result)) {
    std::fprintf(stderr, "graph-decode: could not %s (0x%08lx)%s\n", graphRun.failedStep.c_str(),
                 static_cast<unsigned long>(graphRun.result),
                 graphRun.failedStep == "create the registered decoder filter"
                     ? "; register it with regsvr32 halvarisDecoder.ax"
                     : "");
    return run;
  }
  run.ran = true;
  run.seconds = graphRun.seconds;
  run.delivered = graphRun.sampleCount;
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: graph-decode INPUT OUTPUT.yuy2|- [--system 1..4] [--clip NAME] "
                 "[--repeat N] [--bare]\n       graph-decode --version\n");
    return 2;
  }
  if (options.version) {
    std::printf("graph-decode %s\n", HALVARIS_VERSION_STRING);
    return 0;
  }
  Input input;
  if (!OpenInput(options, input)) return 1;
  Output output;
  if (!output.Open(options.output)) {
    std::fprintf(stderr, "graph-decode: cannot write %s\n", options.output.c_str());
    return 1;
  }
  FrameReading reading(input);
  const Run run = options.bare ? DecodeBare(options, input, reading, output)
                               : DecodeThroughGraph(options, input, reading, output);
  if (!run.ran) return 1;
  if (!reading.Failure().empty()) {
    std::fprintf(stderr, "graph-decode: %s\n", reading.Failure().c_str());
  }
  // A stream's length is known only once it has been read.
  const long long frames = input.info.frameCount >= 0
                               ? static_cast<long long>(input.info.frameCount) * options.repeat
                               : reading.FramesRead();
  std::fprintf(stderr, "graph-decode: %lld of %lld frames, system %d, %.3f s, %.1f frames/s (%s)\n",
               run.delivered, frames, input.info.system, run.seconds,
               run.seconds > 0 ? static_cast<double>(run.delivered) / run.seconds : 0.0,
               options.bare ? "decoder alone" : "through the graph");
  return run.delivered == frames && reading.Failure().empty() ? 0 : 1;
}
