#pragma once

// Decodes compressed frames through a real DirectShow graph:
// frame source -> decoder filter -> sample grabber -> null renderer, run to the end of the stream.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "graph_host/push_source.h"

namespace halvaris::graph {

// What arrived at the sample grabber, per sample.
struct ReceivedSample {
  std::vector<std::uint8_t> picture;  // the first bytes of the sample, as many as asked to keep
  long bufferSize = 0;
  long actualLength = 0;
  bool hasMediaType = false;
  dshow::CMediaType mediaType;
  HRESULT timeResult = E_FAIL;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
};

struct GraphRequest {
  SourceSettings source;
  std::size_t keepBytes = 0;  // bytes of each picture to keep in the result
  bool keepSamples = true;    // record a ReceivedSample per sample
  // Sees every picture as it arrives (for example to write it to a file).
  std::function<void(const std::uint8_t* data, long size)> consumer;
  DWORD timeoutMilliseconds = 120000;
  // When set, the graph is stopped as soon as this many samples have arrived, while the source
  // still has frames to send.
  long long stopAfterSamples = 0;
};

struct GraphRun {
  HRESULT result = E_FAIL;
  std::string failedStep;  // empty on success
  long completion = 0;     // the event code that ended the run
  std::vector<ReceivedSample> samples;
  long long sampleCount = 0;
  double seconds = 0;  // from Run to the end of the stream
};

// Runs the graph with `decoder`, or with the registered decoder filter when it is nullptr.
// The calling thread must have initialised COM.
GraphRun RunDecodeGraph(const GraphRequest& request, IBaseFilter* decoder = nullptr);

}  // namespace halvaris::graph
