#include "base/transform_filter.h"

#include <mutex>
#include <new>

namespace halvaris::dshow {
namespace {

const WCHAR kInputPinName[] = L"XForm In";
const WCHAR kOutputPinName[] = L"XForm Out";

}  // namespace

// ---- CTransformInputPin ----

CTransformInputPin::CTransformInputPin(CTransformFilter* filter, win32::CriticalSection* lock)
    : CBaseInputPin(filter, lock, kInputPinName), transform_(filter) {}

HRESULT CTransformInputPin::CheckMediaType(const CMediaType* type) {
  const HRESULT result = transform_->CheckInputType(type);
  if (result != S_OK) return result;
  CTransformOutputPin* output = transform_->output_.get();
  if (output && output->IsConnected()) {
    return transform_->CheckTransform(type, &output->CurrentMediaType());
  }
  return S_OK;
}

HRESULT CTransformInputPin::SetMediaType(const CMediaType* type) {
  const HRESULT result = CBaseInputPin::SetMediaType(type);
  if (FAILED(result)) return result;
  return transform_->SetMediaType(PINDIR_INPUT, type);
}

HRESULT CTransformInputPin::CheckConnect(IPin* pin) {
  const HRESULT result = transform_->CheckConnect(PINDIR_INPUT, pin);
  if (FAILED(result)) return result;
  return CBaseInputPin::CheckConnect(pin);
}

HRESULT CTransformInputPin::BreakConnect() {
  transform_->BreakConnect(PINDIR_INPUT);
  return CBaseInputPin::BreakConnect();
}

HRESULT CTransformInputPin::CompleteConnect(IPin* receivePin) {
  const HRESULT result = transform_->CompleteConnect(PINDIR_INPUT, receivePin);
  if (FAILED(result)) return result;
  return CBaseInputPin::CompleteConnect(receivePin);
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::Receive(IMediaSample* sample) {
  std::lock_guard<win32::CriticalSection> guard(transform_->receiveLock_);
  const HRESULT result = CBaseInputPin::Receive(sample);
  if (result != S_OK) return result;
  return transform_->Receive(sample);
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::EndOfStream() {
  std::lock_guard<win32::CriticalSection> guard(transform_->receiveLock_);
  const HRESULT result = CheckStreaming();
  if (result != S_OK) return result;
  return transform_->EndOfStream();
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::BeginFlush() {
  std::lock_guard<win32::CriticalSection> guard(*lock_);
  if (!IsConnected()) return VFW_E_NOT_CONNECTED;
  const HRESULT result = CBaseInputPin::BeginFlush();
  if (FAILED(result)) return result;
  return transform_->BeginFlush();
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::EndFlush() {
  std::lock_guard<win32::CriticalSection> guard(*lock_);
  if (!IsConnected()) return VFW_E_NOT_CONNECTED;
  const HRESULT result = transform_->EndFlush();
  if (FAILED(result)) return result;
  return CBaseInputPin::EndFlush();
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                                         double rate) {
  CBasePin::NewSegment(start, stop, rate);
  return transform_->NewSegment(start, stop, rate);
}

// ---- CTransformOutputPin ----

CTransformOutputPin::CTransformOutputPin(CTransformFilter* filter, win32::CriticalSection* lock)
    : CBaseOutputPin(filter, lock, kOutputPinName), transform_(filter) {}

HRESULT CTransformOutputPin::CheckMediaType(const CMediaType* type) {
  CTransformInputPin* input = transform_->input_.get();
  if (!input || !input->IsConnected()) return E_UNEXPECTED;
  return transform_->CheckTransform(&input->CurrentMediaType(), type);
}

HRESULT CTransformOutputPin::GetMediaType(int position, CMediaType* type) {
  CTransformInputPin* input = transform_->input_.get();
  if (!input || !input->IsConnected()) return E_UNEXPECTED;
  return transform_->GetMediaType(position, type);
}

HRESULT CTransformOutputPin::SetMediaType(const CMediaType* type) {
  const HRESULT result = CBaseOutputPin::SetMediaType(type);
  if (FAILED(result)) return result;
  return transform_->SetMediaType(PINDIR_OUTPUT, type);
}

HRESULT CTransformOutputPin::CheckConnect(IPin* pin) {
  CTransformInputPin* input = transform_->input_.get();
  if (!input || !input->IsConnected()) return E_UNEXPECTED;
  const HRESULT result = transform_->CheckConnect(PINDIR_OUTPUT, pin);
  if (FAILED(result)) return result;
  return CBaseOutputPin::CheckConnect(pin);
}

HRESULT CTransformOutputPin::BreakConnect() {
  transform_->BreakConnect(PINDIR_OUTPUT);
  return CBaseOutputPin::BreakConnect();
}

HRESULT CTransformOutputPin::CompleteConnect(IPin* receivePin) {
  HRESULT result = transform_->CompleteConnect(PINDIR_OUTPUT, receivePin);
  if (FAILED(result)) return result;
  return CBaseOutputPin::CompleteConnect(receivePin);
}

HRESULT CTransformOutputPin::DecideBufferSize(IMemAllocator* allocator,
                                              ALLOCATOR_PROPERTIES* properties) {
  return transform_->DecideBufferSize(allocator, properties);
}

// ---- CTransformFilter ----

CTransformFilter::CTransformFilter(IUnknown* outer, REFCLSID clsid)
    : CBaseFilter(outer, &filterLock_, clsid) {}

CTransformFilter::~CTransformFilter() = default;

CBasePin* CTransformFilter::GetPin(int index) {
  if (index < 0 || index > 1) return nullptr;
  std::lock_guard<win32::CriticalSection> guard(filterLock_);
  if (!input_) {
    std::unique_ptr<CTransformInputPin> input(new (std::nothrow)
                                                  CTransformInputPin(this, &filterLock_));
    std::unique_ptr<CTransformOutputPin> output(new (std::nothrow)
                                                    CTransformOutputPin(this, &filterLock_));
    if (!input || !output) return nullptr;
    input_ = std::move(input);
    output_ = std::move(output);
  }
  return index == 0 ? static_cast<CBasePin*>(input_.get()) : output_.get();
}

HRESULT STDMETHODCALLTYPE CTransformFilter::Stop() {
  std::unique_lock<win32::CriticalSection> guard(filterLock_);
  if (state_ == State_Stopped) return S_OK;
  // Inactive pins first: this decommits the allocators, so a Receive waiting for a buffer
  // returns and releases the receive lock.
  if (input_ && input_->IsConnected()) input_->Inactive();
  if (output_ && output_->IsConnected()) output_->Inactive();
  // A Receive in progress may still need the filter lock (a type announced by its sample is
  // checked against the connections, downstream may ask the output pin about a type), so it is
  // awaited without that lock, and both are then held in the order Receive takes them.
  guard.unlock();
  std::lock_guard<win32::CriticalSection> receiving(receiveLock_);
  guard.lock();
  if (state_ == State_Stopped) return S_OK;
  HRESULT result = S_OK;
  if (streaming_) {
    result = StopStreaming();
    streaming_ = false;
  }
  state_ = State_Stopped;
  return result;
}

HRESULT STDMETHODCALLTYPE CTransformFilter::Pause() {
  std::lock_guard<win32::CriticalSection> guard(filterLock_);
  if (state_ == State_Stopped && input_ && input_->IsConnected() && output_->IsConnected()) {
    std::lock_guard<win32::CriticalSection> receiving(receiveLock_);
    const HRESULT result = StartStreaming();
    if (FAILED(result)) return result;
    streaming_ = true;
    sampleSkipped_ = false;
  }
  return CBaseFilter::Pause();
}

HRESULT CTransformFilter::InitializeOutputSample(IMediaSample* in, IMediaSample** out) {
  *out = nullptr;
  if (!output_ || !output_->IsConnected()) return VFW_E_NOT_CONNECTED;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  const HRESULT timeResult = in->GetTime(&start, &stop);
  const bool hasStart = SUCCEEDED(timeResult);
  const bool hasStop = timeResult == S_OK;
  const DWORD flags = sampleSkipped_ ? AM_GBF_PREVFRAMESKIPPED : 0;
  const HRESULT result = output_->GetDeliveryBuffer(out, hasStart ? &start : nullptr,
                                                    hasStop ? &stop : nullptr, flags);
  if (FAILED(result)) return result;
  if (!*out) return E_UNEXPECTED;
  IMediaSample* sample = *out;
  sample->SetTime(hasStart ? &start : nullptr, hasStop ? &stop : nullptr);
  sample->SetSyncPoint(in->IsSyncPoint() == S_OK);
  sample->SetDiscontinuity(in->IsDiscontinuity() == S_OK || sampleSkipped_);
  sample->SetPreroll(in->IsPreroll() == S_OK);
  LONGLONG mediaStart = 0;
  LONGLONG mediaStop = 0;
  if (in->GetMediaTime(&mediaStart, &mediaStop) == S_OK) {
    sample->SetMediaTime(&mediaStart, &mediaStop);
  } else {
    sample->SetMediaTime(nullptr, nullptr);
  }
  return S_OK;
}

HRESULT CTransformFilter::Receive(IMediaSample* sample) {
  win32::ComPtr<IMediaSample> out;
  HRESULT result = InitializeOutputSample(sample, out.Put());
  if (FAILED(result)) return result;
  result = Transform(sample, out.Get());
  if (result == S_OK) {
    sampleSkipped_ = false;
    return output_->Deliver(out.Get());
  }
  if (result == S_FALSE) {
    // Dropped on purpose: the next delivered sample is marked as a discontinuity.
    sampleSkipped_ = true;
    return S_OK;
  }
  return result;
}

HRESULT CTransformFilter::EndOfStream() {
  return output_ ? output_->DeliverEndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT CTransformFilter::BeginFlush() {
  return output_ ? output_->DeliverBeginFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CTransformFilter::EndFlush() {
  return output_ ? output_->DeliverEndFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CTransformFilter::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  return output_ ? output_->DeliverNewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}

}  // namespace halvaris::dshow
