#pragma once

// The filter half of a DirectShow filter: identity, state (stopped, paused, running), clock,
// graph membership and the pin enumeration. Pins are owned by the derived filter.

#define NO_DSHOW_STRSAFE
#include <dshow.h>

#include <atomic>

#include "base/unknown.h"
#include "win32_owners.h"

namespace halvaris::dshow {

class CBasePin;
struct FilterSetup;

class CBaseFilter : public CUnknown, public IBaseFilter, public IAMovieSetup {
 public:
  // `lock` guards the filter's state and its pins' connections; it must outlive the filter.
  CBaseFilter(IUnknown* outer, win32::CriticalSection* lock, REFCLSID clsid);
  ~CBaseFilter() override;

  HALVARIS_DELEGATING_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // IPersist
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;

  // IMediaFilter
  HRESULT STDMETHODCALLTYPE GetState(DWORD milliseconds, FILTER_STATE* state) override;
  HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
  HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Pause() override;
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;

  // IBaseFilter
  HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;
  HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* vendorInfo) override;

  // IAMovieSetup: registers the filter with the mapper from GetSetupData.
  HRESULT STDMETHODCALLTYPE Register() override;
  HRESULT STDMETHODCALLTYPE Unregister() override;

  virtual int GetPinCount() = 0;
  virtual CBasePin* GetPin(int index) = 0;
  virtual const FilterSetup* GetSetupData() { return nullptr; }

  FILTER_STATE State() const { return state_; }
  bool IsStopped() const { return state_ == State_Stopped; }
  win32::CriticalSection* FilterLock() const { return filterLock_; }
  // Sends an event to the graph's event sink, if the filter is in a graph that has one.
  HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);

 protected:
  win32::CriticalSection* filterLock_;
  // Read without the lock by the streaming thread.
  std::atomic<FILTER_STATE> state_{State_Stopped};
  win32::ComPtr<IReferenceClock> clock_;
  REFERENCE_TIME start_ = 0;

 private:
  CLSID clsid_;
  // Not reference counted: the graph owns the filter, not the other way round.
  IFilterGraph* graph_ = nullptr;
  IMediaEventSink* eventSink_ = nullptr;
  WCHAR name_[MAX_FILTER_NAME] = {};
};

}  // namespace halvaris::dshow
