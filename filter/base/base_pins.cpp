#include "base/base_pins.h"

#include <mutex>
#include <new>

namespace halvaris::dshow {
namespace {

// Lists a pin's preferred types through CBasePin::GetMediaType; holds the pin (and so its
// filter) alive while it exists.
class MediaTypeEnumerator : public CUnknown, public IEnumMediaTypes {
 public:
  MediaTypeEnumerator(CBasePin* pin, int position)
      : CUnknown(nullptr), pinReference_(static_cast<IPin*>(pin)), pin_(pin), position_(position) {}

  HALVARIS_DELEGATING_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IEnumMediaTypes)) {
      return GetInterface(static_cast<IEnumMediaTypes*>(this), object);
    }
    return CUnknown::NonDelegatingQueryInterface(iid, object);
  }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override {
    if (!types || (!fetched && count != 1)) return E_POINTER;
    ULONG done = 0;
    while (done < count) {
      CMediaType type;
      if (pin_->GetMediaType(position_, &type) != S_OK) break;
      ++position_;
      types[done] = CreateMediaType(&type);
      if (!types[done]) break;
      ++done;
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    for (; count > 0; --count) {
      CMediaType type;
      if (pin_->GetMediaType(position_, &type) != S_OK) return S_FALSE;
      ++position_;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** result) override {
    if (!result) return E_POINTER;
    auto* copy = new (std::nothrow) MediaTypeEnumerator(pin_, position_);
    if (!copy) return E_OUTOFMEMORY;
    return GetInterface(static_cast<IEnumMediaTypes*>(copy), reinterpret_cast<void**>(result));
  }

 private:
  win32::ComPtr<IPin> pinReference_;
  CBasePin* pin_;
  int position_;
};

bool IsFullySpecified(const AM_MEDIA_TYPE& type) {
  return !IsEqualGUID(type.majortype, GUID_NULL) && !IsEqualGUID(type.subtype, GUID_NULL) &&
         !IsEqualGUID(type.formattype, GUID_NULL);
}

}  // namespace

// ---- CBasePin ----

CBasePin::CBasePin(CBaseFilter* filter, win32::CriticalSection* lock, const WCHAR* name,
                   PIN_DIRECTION direction)
    : CUnknown(nullptr), filter_(filter), lock_(lock), name_(name), direction_(direction) {}

CBasePin::~CBasePin() = default;

ULONG STDMETHODCALLTYPE CBasePin::AddRef() {
  return filter_->AddRef();
}
ULONG STDMETHODCALLTYPE CBasePin::Release() {
  return filter_->Release();
}

HRESULT STDMETHODCALLTYPE CBasePin::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  // IUnknown too goes through IPin: a pin's identity and lifetime are its filter's.
  if (IsEqualIID(iid, IID_IPin) || IsEqualIID(iid, IID_IUnknown)) {
    return GetInterface(static_cast<IPin*>(this), object);
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE CBasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
  if (!receivePin) return E_POINTER;
  std::lock_guard<win32::CriticalSection> guard(*lock_);
  if (connected_) return VFW_E_ALREADY_CONNECTED;
  if (!filter_->IsStopped()) return VFW_E_NOT_STOPPED;
  return AgreeMediaType(receivePin, type);
}

HRESULT CBasePin::AgreeMediaType(IPin* receivePin, const AM_MEDIA_TYPE* partial) {
  if (partial && IsFullySpecified(*partial)) {
    CMediaType type;
    if (FAILED(type.Set(*partial))) return E_OUTOFMEMORY;
    return AttemptConnection(receivePin, type);
  }
  HRESULT lastFailure = VFW_E_NO_ACCEPTABLE_TYPES;
  // Our own types first: they are complete, while the other pin's may not be.
  for (int position = 0;; ++position) {
    CMediaType type;
    if (GetMediaType(position, &type) != S_OK) break;
    if (partial && !type.MatchesPartial(*partial)) continue;
    const HRESULT result = AttemptConnection(receivePin, type);
    if (SUCCEEDED(result)) return result;
    lastFailure = result;
  }
  win32::ComPtr<IEnumMediaTypes> theirs;
  if (SUCCEEDED(receivePin->EnumMediaTypes(theirs.Put())) && theirs) {
    AM_MEDIA_TYPE* raw = nullptr;
    while (theirs->Next(1, &raw, nullptr) == S_OK) {
      UniqueMediaType owned(raw);
      CMediaType type;
      if (FAILED(type.Set(*owned))) return E_OUTOFMEMORY;
      if (partial && !type.MatchesPartial(*partial)) continue;
      const HRESULT result = AttemptConnection(receivePin, type);
      if (SUCCEEDED(result)) return result;
      lastFailure = result;
    }
  }
  return lastFailure;
}

HRESULT CBasePin::AttemptConnection(IPin* receivePin, const CMediaType& type) {
  HRESULT result = CheckConnect(receivePin);
  if (FAILED(result)) {
    BreakConnect();
    return result;
  }
  result = CheckMediaType(&type);
  if (result != S_OK) {
    BreakConnect();
    return FAILED(result) ? result : VFW_E_TYPE_NOT_ACCEPTED;
  }
  connected_ = win32::ComPtr<IPin>(receivePin);
  result = SetMediaType(&type);
  if (SUCCEEDED(result)) {
    result = receivePin->ReceiveConnection(this, &type);
    if (SUCCEEDED(result)) {
      result = CompleteConnect(receivePin);
      if (SUCCEEDED(result)) return S_OK;
      receivePin->Disconnect();
    }
  }
  ResetConnection();
  return result;
}

void CBasePin::ResetConnection() {
  BreakConnect();
  connected_.Reset();
  mediaType_.Clear();
}

HRESULT STDMETHODCALLTYPE CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
  if (!connector || !type) return E_POINTER;
  std::lock_guard<win32::CriticalSection> guard(*lock_);
  if (connected_) return VFW_E_ALREADY_CONNECTED;
  if (!filter_->IsStopped()) return VFW_E_NOT_STOPPED;
  HRESULT result = CheckConnect(connector);
  if (FAILED(result)) {
    BreakConnect();
    return result;
  }
  CMediaType proposed;
  if (FAILED(proposed.Set(*type))) {
    BreakConnect();
    return E_OUTOFMEMORY;
  }
  result = CheckMediaType(&proposed);
  if (result != S_OK) {
    BreakConnect();
    return FAILED(result) ? result : VFW_E_TYPE_NOT_ACCEPTED;
  }
  connected_ = win32::ComPtr<IPin>(connector);
  result = SetMediaType(&proposed);
  if (SUCCEEDED(result)) result = CompleteConnect(connector);
  if (FAILED(result)) ResetConnection();
  return result;
}

HRESULT STDMETHODCALLTYPE CBasePin::Disconnect() {
  std::lock_guard<win32::CriticalSection> guard(*lock_);
  if (!filter_->IsStopped()) return VFW_E_NOT_STOPPED;
  if (!connected_) return S_FALSE;
  ResetConnection();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePin::ConnectedTo(IPin** pin) {
  if (!pin) return E_POINTER;
  std::lock_guard<win32::CriticalSection> guard(*lock_);
  *pin = win32::ComPtr<IPin>(connected_).Detach();
  return *pin ? S_OK : VFW_E_NOT_CONNECTED;
}

HRESULT STDMETHODCALLTYPE CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  std::lock_guard<win32::CriticalSection> guard(*lock_);
  if (!connected_) {
    *type = AM_MEDIA_TYPE{};
    return VFW_E_NOT_CONNECTED;
  }
  return CopyMediaType(type, &mediaType_);
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryPinInfo(PIN_INFO* info) {
  if (!info) return E_POINTER;
  info->pFilter = filter_;
  filter_->AddRef();
  lstrcpynW(info->achName, name_, MAX_PIN_NAME);
  info->dir = direction_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryDirection(PIN_DIRECTION* direction) {
  if (!direction) return E_POINTER;
  *direction = direction_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryId(LPWSTR* id) {
  if (!id) return E_POINTER;
  const size_t bytes = (static_cast<size_t>(lstrlenW(name_)) + 1) * sizeof(WCHAR);
  *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (!*id) return E_OUTOFMEMORY;
  CopyMemory(*id, name_, bytes);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryAccept(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  CMediaType proposed;
  if (FAILED(proposed.Set(*type))) return E_OUTOFMEMORY;
  return CheckMediaType(&proposed) == S_OK ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CBasePin::EnumMediaTypes(IEnumMediaTypes** types) {
  if (!types) return E_POINTER;
  *types = nullptr;
  auto* enumerator = new (std::nothrow) MediaTypeEnumerator(this, 0);
  if (!enumerator) return E_OUTOFMEMORY;
  return GetInterface(static_cast<IEnumMediaTypes*>(enumerator), reinterpret_cast<void**>(types));
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryInternalConnections(IPin**, ULONG*) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CBasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                               double rate) {
  segmentStart_ = start;
  segmentStop_ = stop;
  segmentRate_ = rate;
  return S_OK;
}

HRESULT CBasePin::GetMediaType(int, CMediaType*) {
  return VFW_S_NO_MORE_ITEMS;
}

HRESULT CBasePin::SetMediaType(const CMediaType* type) {
  return mediaType_.Set(*type);
}

HRESULT CBasePin::CheckConnect(IPin* pin) {
  PIN_DIRECTION theirs;
  const HRESULT result = pin->QueryDirection(&theirs);
  if (FAILED(result)) return result;
  return theirs == direction_ ? VFW_E_INVALID_DIRECTION : S_OK;
}

// ---- CBaseInputPin ----

CBaseInputPin::CBaseInputPin(CBaseFilter* filter, win32::CriticalSection* lock, const WCHAR* name)
    : CBasePin(filter, lock, name, PINDIR_INPUT) {}

CBaseInputPin::~CBaseInputPin() = default;

HRESULT STDMETHODCALLTYPE CBaseInputPin::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IMemInputPin)) {
    return GetInterface(static_cast<IMemInputPin*>(this), object);
  }
  return CBasePin::NonDelegatingQueryInterface(iid, object);
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::BeginFlush() {
  std::lock_guard<win32::CriticalSection> guard(*lock_);
  flushing_ = true;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::EndFlush() {
  std::lock_guard<win32::CriticalSection> guard(*lock_);
  flushing_ = false;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::GetAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  std::lock_guard<win32::CriticalSection> guard(*lock_);
  if (!allocator_) {
    const HRESULT result = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IMemAllocator, allocator_.PutVoid());
    if (FAILED(result)) return result;
  }
  *allocator = win32::ComPtr<IMemAllocator>(allocator_).Detach();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
  if (!allocator) return E_POINTER;
  std::lock_guard<win32::CriticalSection> guard(*lock_);
  allocator_ = win32::ComPtr<IMemAllocator>(allocator);
  readOnly_ = readOnly != FALSE;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) {
  return E_NOTIMPL;
}

HRESULT CBaseInputPin::CheckStreaming() {
  if (!IsConnected()) return VFW_E_NOT_CONNECTED;
  if (filter_->IsStopped()) return VFW_E_WRONG_STATE;
  if (flushing_) return S_FALSE;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::Receive(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  const HRESULT result = CheckStreaming();
  if (result != S_OK) return result;
  AM_MEDIA_TYPE* raw = nullptr;
  if (sample->GetMediaType(&raw) == S_OK && raw) {
    UniqueMediaType announced(raw);
    CMediaType type;
    if (FAILED(type.Set(*announced)) || CheckMediaType(&type) != S_OK) {
      return VFW_E_INVALIDMEDIATYPE;
    }
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::ReceiveMultiple(IMediaSample** samples, long count,
                                                         long* processed) {
  if (!samples || !processed) return E_POINTER;
  *processed = 0;
  HRESULT result = S_OK;
  while (*processed < count) {
    result = Receive(samples[*processed]);
    if (result != S_OK) break;
    ++*processed;
  }
  return result;
}

HRESULT CBaseInputPin::Inactive() {
  flushing_ = false;
  // Decommitting the shared allocator releases an upstream thread blocked in GetBuffer.
  return allocator_ ? allocator_->Decommit() : S_OK;
}

HRESULT CBaseInputPin::BreakConnect() {
  allocator_.Reset();
  return S_OK;
}

// ---- CBaseOutputPin ----

CBaseOutputPin::CBaseOutputPin(CBaseFilter* filter, win32::CriticalSection* lock, const WCHAR* name)
    : CBasePin(filter, lock, name, PINDIR_OUTPUT) {}

CBaseOutputPin::~CBaseOutputPin() = default;

HRESULT CBaseOutputPin::CheckConnect(IPin* pin) {
  const HRESULT result = CBasePin::CheckConnect(pin);
  if (FAILED(result)) return result;
  if (FAILED(pin->QueryInterface(IID_IMemInputPin, inputPin_.PutVoid()))) {
    return VFW_E_NO_TRANSPORT;
  }
  return S_OK;
}

HRESULT CBaseOutputPin::CompleteConnect(IPin*) {
  return DecideAllocator(inputPin_.Get(), allocator_.Put());
}

HRESULT CBaseOutputPin::BreakConnect() {
  if (allocator_) {
    allocator_->Decommit();
    allocator_.Reset();
  }
  inputPin_.Reset();
  return S_OK;
}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) {
  if (!pin || !allocator) return E_POINTER;
  *allocator = nullptr;
  ALLOCATOR_PROPERTIES wanted{};
  pin->GetAllocatorRequirements(&wanted);
  if (wanted.cbAlign == 0) wanted.cbAlign = 1;

  win32::ComPtr<IMemAllocator> candidate;
  HRESULT result = pin->GetAllocator(candidate.Put());
  if (SUCCEEDED(result)) {
    ALLOCATOR_PROPERTIES request = wanted;
    result = DecideBufferSize(candidate.Get(), &request);
    if (SUCCEEDED(result)) result = pin->NotifyAllocator(candidate.Get(), FALSE);
    if (SUCCEEDED(result)) {
      *allocator = candidate.Detach();
      return S_OK;
    }
  }
  result = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                            candidate.PutVoid());
  if (FAILED(result)) return result;
  ALLOCATOR_PROPERTIES request = wanted;
  result = DecideBufferSize(candidate.Get(), &request);
  if (SUCCEEDED(result)) result = pin->NotifyAllocator(candidate.Get(), FALSE);
  if (FAILED(result)) return result;
  *allocator = candidate.Detach();
  return S_OK;
}

HRESULT CBaseOutputPin::Active() {
  if (!allocator_) return VFW_E_NO_ALLOCATOR;
  return allocator_->Commit();
}

HRESULT CBaseOutputPin::Inactive() {
  if (!allocator_) return VFW_E_NO_ALLOCATOR;
  return allocator_->Decommit();
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                          REFERENCE_TIME* stop, DWORD flags) {
  if (!allocator_) return VFW_E_NO_ALLOCATOR;
  return allocator_->GetBuffer(sample, start, stop, flags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* sample) {
  if (!inputPin_) return VFW_E_NOT_CONNECTED;
  return inputPin_->Receive(sample);
}

HRESULT CBaseOutputPin::DeliverEndOfStream() {
  if (!connected_) return VFW_E_NOT_CONNECTED;
  return connected_->EndOfStream();
}

HRESULT CBaseOutputPin::DeliverBeginFlush() {
  if (!connected_) return VFW_E_NOT_CONNECTED;
  return connected_->BeginFlush();
}

HRESULT CBaseOutputPin::DeliverEndFlush() {
  if (!connected_) return VFW_E_NOT_CONNECTED;
  return connected_->EndFlush();
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  if (!connected_) return VFW_E_NOT_CONNECTED;
  return connected_->NewSegment(start, stop, rate);
}

}  // namespace halvaris::dshow
