#pragma once

// Pins: the connection protocol shared by input and output pins, the media type enumerator,
// the input pin's IMemInputPin and the output pin's allocator and delivery.

#include "base/base_filter.h"
#include "base/media_type.h"

namespace halvaris::dshow {

class CBasePin : public CUnknown, public IPin {
 public:
  // `lock` is the filter's lock; `name` must outlive the pin.
  CBasePin(CBaseFilter* filter, win32::CriticalSection* lock, const WCHAR* name,
           PIN_DIRECTION direction);
  ~CBasePin() override;

  // A pin has no reference count of its own: it lives exactly as long as its filter.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    return NonDelegatingQueryInterface(iid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // IPin
  HRESULT STDMETHODCALLTYPE Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE Disconnect() override;
  HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
  HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
  HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;
  HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
  HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
  HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE BeginFlush() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EndFlush() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                       double rate) override;

  // S_OK accepts the type; anything else refuses it.
  virtual HRESULT CheckMediaType(const CMediaType* type) = 0;
  // The pin's preferred types, by position; VFW_S_NO_MORE_ITEMS past the end.
  virtual HRESULT GetMediaType(int position, CMediaType* type);
  virtual HRESULT SetMediaType(const CMediaType* type);
  virtual HRESULT CheckConnect(IPin* pin);
  virtual HRESULT BreakConnect() { return S_OK; }
  virtual HRESULT CompleteConnect(IPin* /*receivePin*/) { return S_OK; }
  // State changes of the filter, for connected pins only.
  virtual HRESULT Active() { return S_OK; }
  virtual HRESULT Inactive() { return S_OK; }
  virtual HRESULT Run(REFERENCE_TIME /*start*/) { return S_OK; }

  bool IsConnected() const { return static_cast<bool>(connected_); }
  IPin* GetConnected() const { return connected_.Get(); }
  const CMediaType& CurrentMediaType() const { return mediaType_; }
  const WCHAR* Name() const { return name_; }

 protected:
  CBaseFilter* filter_;
  win32::CriticalSection* lock_;
  win32::ComPtr<IPin> connected_;
  CMediaType mediaType_;
  REFERENCE_TIME segmentStart_ = 0;
  REFERENCE_TIME segmentStop_ = 0;
  double segmentRate_ = 1.0;

 private:
  HRESULT AgreeMediaType(IPin* receivePin, const AM_MEDIA_TYPE* partial);
  HRESULT AttemptConnection(IPin* receivePin, const CMediaType& type);
  void ResetConnection();

  const WCHAR* name_;
  PIN_DIRECTION direction_;
};

class CBaseInputPin : public CBasePin, public IMemInputPin {
 public:
  CBaseInputPin(CBaseFilter* filter, win32::CriticalSection* lock, const WCHAR* name);
  ~CBaseInputPin() override;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    return NonDelegatingQueryInterface(iid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return CBasePin::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CBasePin::Release(); }
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // IPin
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;

  // IMemInputPin
  HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
  HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
  // Checks that the pin may stream and that a type attached to the sample is acceptable;
  // derived pins call this first, then process the sample.
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** samples, long count,
                                            long* processed) override;
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override { return S_OK; }

  HRESULT Inactive() override;
  HRESULT BreakConnect() override;

  // S_OK while samples may be processed, S_FALSE while flushing, an error otherwise.
  HRESULT CheckStreaming();
  bool IsFlushing() const { return flushing_; }

 protected:
  win32::ComPtr<IMemAllocator> allocator_;
  bool readOnly_ = false;
  std::atomic<bool> flushing_{false};
};

class CBaseOutputPin : public CBasePin {
 public:
  CBaseOutputPin(CBaseFilter* filter, win32::CriticalSection* lock, const WCHAR* name);
  ~CBaseOutputPin() override;

  // An output pin takes no stream control calls from upstream.
  HRESULT STDMETHODCALLTYPE EndOfStream() override { return E_UNEXPECTED; }
  HRESULT STDMETHODCALLTYPE BeginFlush() override { return E_UNEXPECTED; }
  HRESULT STDMETHODCALLTYPE EndFlush() override { return E_UNEXPECTED; }

  HRESULT CheckConnect(IPin* pin) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT BreakConnect() override;
  HRESULT Active() override;
  HRESULT Inactive() override;

  // Sets the allocator's buffer count and size; `properties` holds the downstream pin's wishes.
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) = 0;
  // Uses the downstream pin's allocator if it fits, otherwise a memory allocator of our own.
  virtual HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator);

  HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                            DWORD flags);
  HRESULT Deliver(IMediaSample* sample);
  HRESULT DeliverEndOfStream();
  HRESULT DeliverBeginFlush();
  HRESULT DeliverEndFlush();
  HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  IMemAllocator* Allocator() const { return allocator_.Get(); }

 protected:
  win32::ComPtr<IMemAllocator> allocator_;
  win32::ComPtr<IMemInputPin> inputPin_;
};

}  // namespace halvaris::dshow
