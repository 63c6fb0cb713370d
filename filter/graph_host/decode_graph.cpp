#include "graph_host/decode_graph.h"

#include <qedit.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <new>

#include "decoder_guids.h"

// libstrmiids has these; mingw's qedit.h does not declare them.
extern "C" const CLSID CLSID_SampleGrabber;
extern "C" const CLSID CLSID_NullRenderer;

namespace halvaris::graph {
namespace {

using win32::ComPtr;

// Records what reaches the sample grabber. Lives on the stack of RunDecodeGraph, longer than
// the graph that calls it, so its reference count is not used to end its life.
class SampleRecorder : public ISampleGrabberCB {
 public:
  explicit SampleRecorder(const GraphRequest& request)
      : request_(request), enough_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISampleGrabberCB)) {
      *object = static_cast<ISampleGrabberCB*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* sample) override {
    BYTE* data = nullptr;
    if (!sample || FAILED(sample->GetPointer(&data))) return S_OK;
    const long size = sample->GetSize();
    if (request_.consumer) request_.consumer(data, size);
    std::lock_guard<std::mutex> guard(mutex_);
    if (++count_ == request_.stopAfterSamples) SetEvent(enough_.Get());
    if (!request_.keepSamples) return S_OK;
    ReceivedSample received;
    received.bufferSize = size;
    received.actualLength = sample->GetActualDataLength();
    const size_t kept = std::min(request_.keepBytes, static_cast<size_t>(size > 0 ? size : 0));
    received.picture.assign(data, data + kept);
    AM_MEDIA_TYPE* raw = nullptr;
    if (sample->GetMediaType(&raw) == S_OK && raw) {
      dshow::UniqueMediaType type(raw);
      received.hasMediaType = true;
      received.mediaType.Set(*type);
    }
    received.timeResult = sample->GetTime(&received.start, &received.stop);
    samples_.push_back(std::move(received));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, long) override { return S_OK; }

  HANDLE Enough() const { return enough_.Get(); }

  void MoveInto(GraphRun& run) {
    std::lock_guard<std::mutex> guard(mutex_);
    run.samples = std::move(samples_);
    run.sampleCount = count_;
  }

 private:
  const GraphRequest& request_;
  std::mutex mutex_;
  std::vector<ReceivedSample> samples_;
  long long count_ = 0;
  win32::UniqueHandle enough_;
};

ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION wanted) {
  ComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(pins.Put()))) return {};
  IPin* raw = nullptr;
  while (pins->Next(1, &raw, nullptr) == S_OK) {
    ComPtr<IPin> pin = ComPtr<IPin>::Attach(raw);
    PIN_DIRECTION direction;
    if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted) return pin;
  }
  return {};
}

bool Failed(GraphRun& run, HRESULT result, const char* step) {
  if (SUCCEEDED(result)) return false;
  run.result = result;
  run.failedStep = step;
  return true;
}

HRESULT Connect(IGraphBuilder* graph, IBaseFilter* from, IBaseFilter* to) {
  ComPtr<IPin> out = FirstPin(from, PINDIR_OUTPUT);
  ComPtr<IPin> in = FirstPin(to, PINDIR_INPUT);
  if (!out || !in) return VFW_E_NOT_FOUND;
  return graph->ConnectDirect(out.Get(), in.Get(), nullptr);
}

}  // namespace

GraphRun RunDecodeGraph(const GraphRequest& request, IBaseFilter* decoder) {
  GraphRun run;
  SampleRecorder recorder(request);
  {
    ComPtr<IGraphBuilder> graph;
    if (Failed(run,
               CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                graph.PutVoid()),
               "create the filter graph")) {
      return run;
    }
    auto* sourceObject = new (std::nothrow) PushSource(request.source);
    if (!sourceObject) {
      Failed(run, E_OUTOFMEMORY, "create the frame source");
      return run;
    }
    ComPtr<IBaseFilter> source(static_cast<IBaseFilter*>(sourceObject));
    ComPtr<IBaseFilter> decoderFilter(decoder);
    if (!decoderFilter &&
        Failed(run,
               CoCreateInstance(filter::kDecoderFilterClsid, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IBaseFilter, decoderFilter.PutVoid()),
               "create the registered decoder filter")) {
      return run;
    }
    ComPtr<IBaseFilter> grabberFilter;
    ComPtr<IBaseFilter> renderer;
    if (Failed(run,
               CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                grabberFilter.PutVoid()),
               "create the sample grabber") ||
        Failed(run,
               CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                renderer.PutVoid()),
               "create the null renderer")) {
      return run;
    }
    ComPtr<ISampleGrabber> grabber;
    if (Failed(run, grabberFilter.As(grabber), "query ISampleGrabber") ||
        Failed(run, grabber->SetBufferSamples(FALSE), "set up the sample grabber") ||
        Failed(run, grabber->SetCallback(&recorder, 0), "set the grabber callback")) {
      return run;
    }
    if (Failed(run, graph->AddFilter(source.Get(), L"Frames"), "add the source") ||
        Failed(run, graph->AddFilter(decoderFilter.Get(), L"Halvaris Decoder"),
               "add the decoder") ||
        Failed(run, graph->AddFilter(grabberFilter.Get(), L"Sample Grabber"), "add the grabber") ||
        Failed(run, graph->AddFilter(renderer.Get(), L"Null Renderer"), "add the renderer") ||
        Failed(run, Connect(graph.Get(), source.Get(), decoderFilter.Get()),
               "connect source to decoder") ||
        Failed(run, Connect(graph.Get(), decoderFilter.Get(), grabberFilter.Get()),
               "connect decoder to grabber") ||
        Failed(run, Connect(graph.Get(), grabberFilter.Get(), renderer.Get()),
               "connect grabber to renderer")) {
      return run;
    }
    // No clock: samples go through as fast as they are decoded, not at their presentation times.
    ComPtr<IMediaFilter> graphFilter;
    if (SUCCEEDED(graph.As(graphFilter))) graphFilter->SetSyncSource(nullptr);

    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    if (Failed(run, graph.As(control), "query IMediaControl") ||
        Failed(run, graph->QueryInterface(IID_IMediaEvent, events.PutVoid()),
               "query IMediaEvent")) {
      return run;
    }
    const auto started = std::chrono::steady_clock::now();
    if (Failed(run, control->Run(), "run the graph")) {
      control->Stop();
      return run;
    }
    long code = 0;
    HRESULT waited = S_OK;
    if (request.stopAfterSamples > 0) {
      if (WaitForSingleObject(recorder.Enough(), request.timeoutMilliseconds) != WAIT_OBJECT_0) {
        waited = VFW_E_TIMEOUT;
      }
    } else {
      waited = events->WaitForCompletion(static_cast<long>(request.timeoutMilliseconds), &code);
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    control->Stop();
    grabber->SetCallback(nullptr, 0);
    run.completion = code;
    if (Failed(run, waited, "wait for the end of the stream")) return run;
    run.result = S_OK;
  }
  recorder.MoveInto(run);
  return run;
}

}  // namespace halvaris::graph
