#pragma once

// A filter with one input and one output pin that makes one new output sample per input sample:
// the pins, the connection checks it forwards to the derived filter, the receive step and the
// stream control (end of stream, flushes, new segments) passed downstream.

#include <memory>

#include "base/base_pins.h"

namespace halvaris::dshow {

class CTransformFilter;

class CTransformInputPin : public CBaseInputPin {
 public:
  CTransformInputPin(CTransformFilter* filter, win32::CriticalSection* lock);

  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT SetMediaType(const CMediaType* type) override;
  HRESULT CheckConnect(IPin* pin) override;
  HRESULT BreakConnect() override;
  HRESULT CompleteConnect(IPin* receivePin) override;

  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                       double rate) override;

 private:
  CTransformFilter* transform_;
};

class CTransformOutputPin : public CBaseOutputPin {
 public:
  CTransformOutputPin(CTransformFilter* filter, win32::CriticalSection* lock);

  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT SetMediaType(const CMediaType* type) override;
  HRESULT CheckConnect(IPin* pin) override;
  HRESULT BreakConnect() override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;

 private:
  CTransformFilter* transform_;
};

class CTransformFilter : public CBaseFilter {
 public:
  CTransformFilter(IUnknown* outer, REFCLSID clsid);
  ~CTransformFilter() override;

  // Pins are made on first demand, both at once; nullptr if they could not be made.
  int GetPinCount() override { return 2; }
  CBasePin* GetPin(int index) override;

  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Pause() override;

  // What the derived filter decides.
  virtual HRESULT Transform(IMediaSample* in, IMediaSample* out) = 0;
  virtual HRESULT CheckInputType(const CMediaType* in) = 0;
  virtual HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) = 0;
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) = 0;
  virtual HRESULT GetMediaType(int position, CMediaType* type) = 0;

  // Hooks with nothing to do by default.
  virtual HRESULT StartStreaming() { return S_OK; }
  virtual HRESULT StopStreaming() { return S_OK; }
  virtual HRESULT SetMediaType(PIN_DIRECTION, const CMediaType*) { return S_OK; }
  virtual HRESULT CheckConnect(PIN_DIRECTION, IPin*) { return S_OK; }
  virtual HRESULT BreakConnect(PIN_DIRECTION) { return S_OK; }
  virtual HRESULT CompleteConnect(PIN_DIRECTION, IPin*) { return S_OK; }
  virtual HRESULT AlterQuality(Quality) { return S_FALSE; }

  // The receive step, on the upstream filter's streaming thread.
  virtual HRESULT Receive(IMediaSample* sample);
  virtual HRESULT EndOfStream();
  virtual HRESULT BeginFlush();
  virtual HRESULT EndFlush();
  virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

 protected:
  // A fresh output sample with the input sample's times and flags.
  HRESULT InitializeOutputSample(IMediaSample* in, IMediaSample** out);

  win32::CriticalSection filterLock_;
  // Held while a sample is processed; taken by Stop only after the allocators are decommitted,
  // so a Receive blocked on an output buffer lets go first. Receive and Stop take it before the
  // filter lock; Pause takes it after the filter lock, but only while stopped, when a Receive
  // goes no further than its state check.
  win32::CriticalSection receiveLock_;
  std::unique_ptr<CTransformInputPin> input_;
  std::unique_ptr<CTransformOutputPin> output_;

 private:
  friend class CTransformInputPin;
  friend class CTransformOutputPin;
  bool streaming_ = false;
  bool sampleSkipped_ = false;
};

}  // namespace halvaris::dshow
