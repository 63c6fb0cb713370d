#include "graph_host/frame_source.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

namespace halvaris::graph {
namespace {

const GUID kSourceClsid = {
    0x5d7a1c31, 0x8f0e, 0x4b9a, {0x9c, 0x51, 0x2e, 0x61, 0x0d, 0x4f, 0x7b, 0x13}};

}  // namespace

FrameSourcePin::FrameSourcePin(FrameSource* filter, win32::CriticalSection* lock,
                               const SourceSettings* settings)
    : CBaseOutputPin(filter, lock, L"Frames"), settings_(settings) {}

FrameSourcePin::~FrameSourcePin() {
  StopDelivery();
}

HRESULT FrameSourcePin::CheckMediaType(const dshow::CMediaType* type) {
  const dshow::CMediaType& ours = settings_->type;
  return IsEqualGUID(type->majortype, ours.majortype) && IsEqualGUID(type->subtype, ours.subtype) &&
                 IsEqualGUID(type->formattype, ours.formattype)
             ? S_OK
             : S_FALSE;
}

HRESULT FrameSourcePin::GetMediaType(int position, dshow::CMediaType* type) {
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  return type->Set(settings_->type);
}

HRESULT FrameSourcePin::DecideBufferSize(IMemAllocator* allocator,
                                         ALLOCATOR_PROPERTIES* properties) {
  size_t largest = 1;
  for (const SourceFrame& frame : settings_->frames)
    largest = std::max(largest, frame.bytes.size());
  properties->cBuffers = std::max<long>(properties->cBuffers, 2);
  properties->cbBuffer = std::max<long>(properties->cbBuffer, static_cast<long>(largest));
  ALLOCATOR_PROPERTIES granted{};
  const HRESULT result = allocator->SetProperties(properties, &granted);
  if (FAILED(result)) return result;
  return granted.cbBuffer >= properties->cbBuffer ? S_OK : E_FAIL;
}

HRESULT FrameSourcePin::Active() {
  const HRESULT result = CBaseOutputPin::Active();
  if (FAILED(result)) return result;
  StopDelivery();
  stopping_ = false;
  try {
    thread_ = std::thread([this] { Deliver(); });
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT FrameSourcePin::Inactive() {
  // Decommit first: a delivery waiting for a buffer then fails and the thread ends.
  stopping_ = true;
  const HRESULT result = CBaseOutputPin::Inactive();
  StopDelivery();
  return result;
}

void FrameSourcePin::StopDelivery() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
}

void FrameSourcePin::Deliver() {
  long long index = 0;
  for (int round = 0; round < settings_->repeat; ++round) {
    for (const SourceFrame& frame : settings_->frames) {
      if (stopping_) return;
      win32::ComPtr<IMediaSample> sample;
      if (FAILED(GetDeliveryBuffer(sample.Put(), nullptr, nullptr, 0)) || !sample) return;
      BYTE* data = nullptr;
      if (FAILED(sample->GetPointer(&data))) return;
      const long bytes = std::min<long>(sample->GetSize(), static_cast<long>(frame.bytes.size()));
      std::memcpy(data, frame.bytes.data(), static_cast<size_t>(bytes));
      sample->SetActualDataLength(bytes);
      REFERENCE_TIME start = index * settings_->framePeriod;
      REFERENCE_TIME stop = start + settings_->framePeriod;
      sample->SetTime(&start, &stop);
      sample->SetSyncPoint(TRUE);
      sample->SetDiscontinuity(index == 0);
      if (frame.announcedType) sample->SetMediaType(frame.announcedType.get());
      if (CBaseOutputPin::Deliver(sample.Get()) != S_OK) return;
      ++index;
    }
  }
  DeliverEndOfStream();
}

FrameSource::FrameSource(SourceSettings settings)
    : CBaseFilter(nullptr, &lock_, kSourceClsid), settings_(std::move(settings)) {}

FrameSource::~FrameSource() {
  if (pin_) pin_->Inactive();
}

dshow::CBasePin* FrameSource::GetPin(int index) {
  if (index != 0) return nullptr;
  std::lock_guard<win32::CriticalSection> guard(lock_);
  if (!pin_) pin_.reset(new (std::nothrow) FrameSourcePin(this, &lock_, &settings_));
  return pin_.get();
}

}  // namespace halvaris::graph
