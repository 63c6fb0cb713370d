#include "base/base_filter.h"

#include <mutex>
#include <new>

#include "base/base_pins.h"
#include "base/registration.h"

namespace halvaris::dshow {
namespace {

// Walks the filter's pins by index; holds the filter alive while it exists.
class PinEnumerator : public CUnknown, public IEnumPins {
 public:
  PinEnumerator(CBaseFilter* filter, int position)
      : CUnknown(nullptr),
        filter_(static_cast<IBaseFilter*>(filter)),
        owner_(filter),
        position_(position) {}

  HALVARIS_DELEGATING_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IEnumPins)) return GetInterface(static_cast<IEnumPins*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
  }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override {
    if (!pins || (!fetched && count != 1)) return E_POINTER;
    ULONG done = 0;
    while (done < count && position_ < owner_->GetPinCount()) {
      CBasePin* pin = owner_->GetPin(position_++);
      if (!pin) break;
      pins[done] = pin;
      pin->AddRef();
      ++done;
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    const int remaining = owner_->GetPinCount() - position_;
    if (static_cast<long long>(count) > remaining) {
      position_ = owner_->GetPinCount();
      return S_FALSE;
    }
    position_ += static_cast<int>(count);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumPins** result) override {
    if (!result) return E_POINTER;
    auto* copy = new (std::nothrow) PinEnumerator(owner_, position_);
    if (!copy) return E_OUTOFMEMORY;
    return GetInterface(static_cast<IEnumPins*>(copy), reinterpret_cast<void**>(result));
  }

 private:
  win32::ComPtr<IBaseFilter> filter_;
  CBaseFilter* owner_;
  int position_;
};

}  // namespace

CBaseFilter::CBaseFilter(IUnknown* outer, win32::CriticalSection* lock, REFCLSID clsid)
    : CUnknown(outer), filterLock_(lock), clsid_(clsid) {}

CBaseFilter::~CBaseFilter() = default;

HRESULT STDMETHODCALLTYPE CBaseFilter::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IBaseFilter) || IsEqualIID(iid, IID_IMediaFilter) ||
      IsEqualIID(iid, IID_IPersist)) {
    return GetInterface(static_cast<IBaseFilter*>(this), object);
  }
  if (IsEqualIID(iid, IID_IAMovieSetup)) {
    return GetInterface(static_cast<IAMovieSetup*>(this), object);
  }
  return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT STDMETHODCALLTYPE CBaseFilter::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = clsid_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::GetState(DWORD, FILTER_STATE* state) {
  if (!state) return E_POINTER;
  *state = state_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::SetSyncSource(IReferenceClock* clock) {
  std::lock_guard<win32::CriticalSection> guard(*filterLock_);
  clock_ = win32::ComPtr<IReferenceClock>(clock);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::GetSyncSource(IReferenceClock** clock) {
  if (!clock) return E_POINTER;
  std::lock_guard<win32::CriticalSection> guard(*filterLock_);
  *clock = win32::ComPtr<IReferenceClock>(clock_).Detach();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::Stop() {
  std::lock_guard<win32::CriticalSection> guard(*filterLock_);
  HRESULT result = S_OK;
  if (state_ != State_Stopped) {
    for (int i = 0; i < GetPinCount(); ++i) {
      CBasePin* pin = GetPin(i);
      if (pin && pin->IsConnected()) {
        const HRESULT pinResult = pin->Inactive();
        if (FAILED(pinResult) && SUCCEEDED(result)) result = pinResult;
      }
    }
  }
  state_ = State_Stopped;
  return result;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::Pause() {
  std::lock_guard<win32::CriticalSection> guard(*filterLock_);
  if (state_ == State_Stopped) {
    for (int i = 0; i < GetPinCount(); ++i) {
      CBasePin* pin = GetPin(i);
      if (pin && pin->IsConnected()) {
        const HRESULT result = pin->Active();
        if (FAILED(result)) return result;
      }
    }
  }
  state_ = State_Paused;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::Run(REFERENCE_TIME start) {
  std::lock_guard<win32::CriticalSection> guard(*filterLock_);
  start_ = start;
  if (state_ == State_Stopped) {
    const HRESULT result = Pause();
    if (FAILED(result)) return result;
  }
  if (state_ != State_Running) {
    for (int i = 0; i < GetPinCount(); ++i) {
      CBasePin* pin = GetPin(i);
      if (pin && pin->IsConnected()) {
        const HRESULT result = pin->Run(start);
        if (FAILED(result)) return result;
      }
    }
  }
  state_ = State_Running;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::EnumPins(IEnumPins** pins) {
  if (!pins) return E_POINTER;
  *pins = nullptr;
  auto* enumerator = new (std::nothrow) PinEnumerator(this, 0);
  if (!enumerator) return E_OUTOFMEMORY;
  return GetInterface(static_cast<IEnumPins*>(enumerator), reinterpret_cast<void**>(pins));
}

HRESULT STDMETHODCALLTYPE CBaseFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (!id || !pin) return E_POINTER;
  *pin = nullptr;
  for (int i = 0; i < GetPinCount(); ++i) {
    CBasePin* candidate = GetPin(i);
    if (candidate && lstrcmpW(candidate->Name(), id) == 0) {
      return GetInterface(static_cast<IPin*>(candidate), reinterpret_cast<void**>(pin));
    }
  }
  return VFW_E_NOT_FOUND;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (!info) return E_POINTER;
  lstrcpynW(info->achName, name_, MAX_FILTER_NAME);
  info->pGraph = graph_;
  if (graph_) graph_->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  std::lock_guard<win32::CriticalSection> guard(*filterLock_);
  graph_ = graph;
  eventSink_ = nullptr;
  if (graph) {
    // Keep the sink without a reference, as the graph pointer itself.
    win32::ComPtr<IMediaEventSink> sink;
    if (SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, sink.PutVoid()))) {
      eventSink_ = sink.Get();
    }
  }
  if (name) {
    lstrcpynW(name_, name, MAX_FILTER_NAME);
  } else {
    name_[0] = L'\0';
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::QueryVendorInfo(LPWSTR*) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::Register() {
  const FilterSetup* setup = GetSetupData();
  if (!setup) return S_FALSE;
  return RegisterFilterSetup(*setup, true);
}

HRESULT STDMETHODCALLTYPE CBaseFilter::Unregister() {
  const FilterSetup* setup = GetSetupData();
  if (!setup) return S_FALSE;
  return RegisterFilterSetup(*setup, false);
}

HRESULT CBaseFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) {
  IMediaEventSink* sink = eventSink_;
  if (!sink) return E_NOTIMPL;
  return sink->Notify(code, param1, param2);
}

}  // namespace halvaris::dshow
