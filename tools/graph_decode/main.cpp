// graph-decode: decodes a DIF file through a real DirectShow graph with the registered decoder
// filter and writes the pictures that arrive, packed YUY2, one after another.
//
//   graph-decode INPUT.dif OUTPUT.yuy2|- [--system N] [--repeat N] [--bare]
//   graph-decode --version
//
// "-" as output writes nothing. Without --system the system is the one the first frame's header
// names, or the one whose frames are as long as the file. --repeat sends the frames N times (for
// speed measurements); --bare decodes with the library directly instead of the graph, for
// comparison.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "dvh1_media_type.h"
#include "graph_host/decode_graph.h"
#include "halvaris/halvaris.h"
#include "halvaris_build_version.h"
#include "win32_owners.h"

namespace {

struct Options {
  std::string input;
  std::string output;
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

// The system that the first frame's header data name; for a frame whose header says nothing, the
// one system whose frames are exactly as long as the file; 0 when neither tells.
int DetectSystem(const std::vector<std::uint8_t>& bytes) {
  const int named = halvaris_detect_system(bytes.data(), bytes.size(), nullptr);
  return named != 0 ? named : halvaris_system_of_frame_size(bytes.size());
}

void PrintDecoderMessage(void*, const char* text, const char*) {
  std::fprintf(stderr, "graph-decode: %s\n", text);
}

using UniqueDecoder = std::unique_ptr<HalvarisDecoder, decltype(&halvaris_decoder_destroy)>;

// A decoder with one worker per processor and the filter's choice of threading, for a
// like-for-like comparison with the graph; empty when it cannot be made.
UniqueDecoder MakeBareDecoder() {
  HalvarisSettings settings;
  halvaris_default_settings(&settings);
  const char* threading = std::getenv("HALVARIS_DECODE_THREADS");
  if (threading && std::strcmp(threading, "per-wave") == 0) {
    settings.threadingMode = HALVARIS_THREADS_PER_WAVE;
  }
  settings.messageCallback = &PrintDecoderMessage;
  HalvarisDecoder* created = nullptr;
  if (halvaris_decoder_create(&settings, &created) != HALVARIS_OK) created = nullptr;
  return UniqueDecoder(created, &halvaris_decoder_destroy);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: graph-decode INPUT.dif OUTPUT.yuy2|- [--system 1..4] [--repeat N] "
                 "[--bare]\n       graph-decode --version\n");
    return 2;
  }
  if (options.version) {
    std::printf("graph-decode %s\n", HALVARIS_VERSION_STRING);
    return 0;
  }
  std::ifstream input(options.input, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(input)),
                                  std::istreambuf_iterator<char>());
  if (!input.good() && !input.eof()) {
    std::fprintf(stderr, "graph-decode: cannot read %s\n", options.input.c_str());
    return 1;
  }
  const int system = options.system != 0 ? options.system : DetectSystem(bytes);
  if (system == 0) {
    std::fprintf(stderr, "graph-decode: cannot tell the video system of %s; give --system\n",
                 options.input.c_str());
    return 1;
  }
  HalvarisSystemInfo info{};
  halvaris_system_info(system, &info);
  const std::size_t frameBytes = info.frameBytes;
  const std::size_t pictureBytes = info.pictureBytes;

  halvaris::graph::GraphRequest request;
  request.source.type = halvaris::filter::Dvh1MediaType(system);
  request.source.repeat = options.repeat;
  for (std::size_t offset = 0; offset < bytes.size(); offset += frameBytes) {
    const std::size_t end = std::min(bytes.size(), offset + frameBytes);
    halvaris::graph::SourceFrame frame;
    frame.bytes.assign(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                       bytes.begin() + static_cast<std::ptrdiff_t>(end));
    request.source.frames.push_back(std::move(frame));
  }
  if (request.source.frames.empty()) {
    std::fprintf(stderr, "graph-decode: %s is empty\n", options.input.c_str());
    return 1;
  }

  std::FILE* output = nullptr;
  if (options.output != "-") {
    output = std::fopen(options.output.c_str(), "wb");
    if (!output) {
      std::fprintf(stderr, "graph-decode: cannot write %s\n", options.output.c_str());
      return 1;
    }
  }
  const long long frames = static_cast<long long>(request.source.frames.size()) * options.repeat;
  double seconds = 0;
  long long delivered = 0;
  if (options.bare) {
    const UniqueDecoder decoder = MakeBareDecoder();
    if (!decoder) {
      std::fprintf(stderr, "graph-decode: the decoder could not be made\n");
      if (output) std::fclose(output);
      return 1;
    }
    std::vector<std::uint8_t> picture(pictureBytes);
    long long index = 0;
    const auto started = std::chrono::steady_clock::now();
    for (int round = 0; round < options.repeat; ++round) {
      for (const auto& frame : request.source.frames) {
        const int result =
            halvaris_decode_frame(decoder.get(), system, frame.bytes.data(), frame.bytes.size(),
                                  picture.data(), 2 * info.width, picture.size());
        if (result == HALVARIS_OK) {
          ++delivered;
        } else {
          std::fprintf(stderr, "graph-decode: frame %lld: %s\n", index,
                       halvaris_result_text(result));
        }
        // Written all the same, so that the pictures stay where their frames are.
        if (output) std::fwrite(picture.data(), 1, picture.size(), output);
        ++index;
      }
    }
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  } else {
    const halvaris::win32::ComInitialization com;
    if (FAILED(com.Result())) {
      std::fprintf(stderr, "graph-decode: COM could not be initialised\n");
      if (output) std::fclose(output);
      return 1;
    }
    request.keepSamples = false;
    request.consumer = [&](const std::uint8_t* data, long size) {
      if (output) {
        const std::size_t bytesToWrite =
            std::min(pictureBytes, static_cast<std::size_t>(size > 0 ? size : 0));
        std::fwrite(data, 1, bytesToWrite, output);
      }
    };
    const halvaris::graph::GraphRun run = halvaris::graph::RunDecodeGraph(request);
    if (FAILED(run.result)) {
      std::fprintf(stderr, "graph-decode: could not %s (0x%08lx)%s\n", run.failedStep.c_str(),
                   static_cast<unsigned long>(run.result),
                   run.failedStep == "create the registered decoder filter"
                       ? "; register it with regsvr32 halvarisDecoder.ax"
                       : "");
      if (output) std::fclose(output);
      return 1;
    }
    seconds = run.seconds;
    delivered = run.sampleCount;
  }
  if (output) std::fclose(output);
  std::fprintf(stderr, "graph-decode: %lld of %lld frames, system %d, %.3f s, %.1f frames/s (%s)\n",
               delivered, frames, system, seconds,
               seconds > 0 ? static_cast<double>(delivered) / seconds : 0.0,
               options.bare ? "decoder alone" : "through the graph");
  return delivered == frames ? 0 : 1;
}
