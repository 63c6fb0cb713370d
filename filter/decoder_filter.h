#pragma once

// The decoder filter: "dvh1" compressed frames in, packed 4:2:2 "YUY2" pictures out, one picture
// per frame, decoded on the frame decoder's workers.

#include <atomic>

#include "base/transform_filter.h"
#include "decoder_guids.h"
#include "frame_decoder.h"

namespace halvaris::filter {

// The video system of a frame, from the picture width and the compressed frame size in bytes.
int ChooseVideoSystem(int width, int frameSize);

class DecoderFilter : public dshow::CTransformFilter,
                      public IEffectSettings,
                      public ISpecifyPropertyPages {
 public:
  // The class factory's create routine.
  static dshow::CUnknown* CreateInstance(IUnknown* outer, HRESULT* result);

  explicit DecoderFilter(IUnknown* outer);
  ~DecoderFilter() override;

  HALVARIS_DELEGATING_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // IEffectSettings
  HRESULT STDMETHODCALLTYPE GetEffectSettings(int* number, double* start, double* length) override;
  HRESULT STDMETHODCALLTYPE SetEffectSettings(int number, double start, double length) override;

  // ISpecifyPropertyPages
  HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;

  // CTransformFilter
  HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
  HRESULT CheckInputType(const dshow::CMediaType* in) override;
  HRESULT CheckTransform(const dshow::CMediaType* in, const dshow::CMediaType* out) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;
  HRESULT GetMediaType(int position, dshow::CMediaType* type) override;

  // The negotiated values Transform decodes with.
  int RenderWidth() const { return renderWidth; }
  int RenderHeight() const { return renderHeight; }
  int InputFrameSize() const { return inputFrameSize; }

 private:
  // Labels every output sample: YUY2 at width x height.
  void FillOutputSampleType(int width, int height);
  // This instance's decoder for the current worker count; nullptr if it cannot be made.
  HalvarisDecoder* Decoder();

  win32::CriticalSection effectLock;
  int effectNumber = 1010;
  LONGLONG effectStart = 0;   // 100 ns units
  LONGLONG effectLength = 0;  // 100 ns units

  // Negotiated per instance, so that filters in one process decode different streams at once.
  // A type check on the application thread may renew them while Transform runs.
  std::atomic<int> renderWidth{0};
  std::atomic<int> renderHeight{0};
  std::atomic<int> inputFrameSize{0};
  dshow::CMediaType outputSampleType;
  UniqueDecoder decoder;
};

}  // namespace halvaris::filter
