// graph-decode: decodes a DIF file through a real DirectShow graph with the registered decoder
// filter and writes the pictures that arrive, packed YUY2, one after another.
//
//   graph-decode INPUT.dif OUTPUT.yuy2|- [--system N] [--repeat N] [--bare]
//
// "-" as output writes nothing. --repeat sends the frames N times (for speed measurements);
// --bare decodes with the frame decoder directly instead of the graph, for comparison.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "decoder/frame_dispatcher.h"
#include "decoder/video_system.h"
#include "tools/graph_decode/decode_graph.h"

namespace {

using halvaris::GeometryOf;

struct Options {
  std::string input;
  std::string output;
  int system = 0;
  int repeat = 1;
  bool bare = false;
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
    } else {
      positional.push_back(argument);
    }
  }
  if (positional.size() != 2 || options.repeat < 1) return false;
  options.input = positional[0];
  options.output = positional[1];
  return options.system == 0 || halvaris::IsValidVideoSystem(options.system);
}

// A file of exactly one frame names its system; otherwise the one system whose frame size
// divides the file size; 0 when that is ambiguous.
int GuessSystem(std::size_t fileBytes) {
  int candidate = 0;
  int candidates = 0;
  for (int system = 1; system <= 4; ++system) {
    const std::size_t frameBytes = GeometryOf(system).frameBytes;
    if (fileBytes == frameBytes) return system;
    if (fileBytes % frameBytes == 0) {
      candidate = system;
      ++candidates;
    }
  }
  return candidates == 1 ? candidate : 0;
}

class ComSession {
 public:
  ComSession() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComSession() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComSession(const ComSession&) = delete;
  ComSession& operator=(const ComSession&) = delete;
  HRESULT Result() const { return result_; }

 private:
  HRESULT result_;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: graph-decode INPUT.dif OUTPUT.yuy2|- [--system 1..4] [--repeat N] "
                 "[--bare]\n");
    return 2;
  }
  std::ifstream input(options.input, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(input)),
                                  std::istreambuf_iterator<char>());
  if (!input.good() && !input.eof()) {
    std::fprintf(stderr, "graph-decode: cannot read %s\n", options.input.c_str());
    return 1;
  }
  const int system = options.system != 0 ? options.system : GuessSystem(bytes.size());
  if (system == 0) {
    std::fprintf(stderr, "graph-decode: cannot tell the video system of %s; give --system\n",
                 options.input.c_str());
    return 1;
  }
  const std::size_t frameBytes = GeometryOf(system).frameBytes;
  const std::size_t pictureBytes = halvaris::PictureBytes(system);

  halvaris::graph::GraphRequest request;
  request.source.type = halvaris::graph::Dvh1Type(system);
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
    // The same choice of threading as the filter makes, for a like-for-like comparison.
    const char* threading = std::getenv("HALVARIS_DECODE_THREADS");
    const bool perWave = threading && std::strcmp(threading, "per-wave") == 0;
    halvaris::FrameDispatcher dispatcher(
        halvaris::DefaultWorkerCount(),
        perWave ? halvaris::ThreadingMode::PerWaveThreads : halvaris::ThreadingMode::Pool);
    const halvaris::SystemGeometry& geometry = GeometryOf(system);
    std::vector<std::uint8_t> picture(pictureBytes);
    const auto started = std::chrono::steady_clock::now();
    for (int round = 0; round < options.repeat; ++round) {
      for (const auto& frame : request.source.frames) {
        dispatcher.DecodeFrame(picture.data(), geometry.width, -geometry.height, picture.size(),
                               frame.bytes.data(), frame.bytes.size(), system);
        if (output) std::fwrite(picture.data(), 1, picture.size(), output);
        ++delivered;
      }
    }
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  } else {
    ComSession com;
    if (FAILED(com.Result())) {
      std::fprintf(stderr, "graph-decode: COM could not be initialised\n");
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
