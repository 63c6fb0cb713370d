#include "graph_host/push_source.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

namespace halvaris::graph {
namespace {

const GUID kSourceClsid = {
    0x5d7a1c31, 0x8f0e, 0x4b9a, {0x9c, 0x51, 0x2e, 0x61, 0x0d, 0x4f, 0x7b, 0x13}};

}  // namespace

PushSourcePin::PushSourcePin(PushSource* filter, win32::CriticalSection* lock,
                             const SourceSettings* settings)
    : CBaseOutputPin(filter, lock, L"Frames"), settings_(settings) {}

PushSourcePin::~PushSourcePin() {
  StopDelivery();
}

HRESULT PushSourcePin::CheckMediaType(const dshow::CMediaType* type) {
  const dshow::CMediaType& ours = settings_->type;
  return IsEqualGUID(type->majortype, ours.majortype) && IsEqualGUID(type->subtype, ours.subtype) &&
                 IsEqualGUID(type->formattype, ours.formattype)
             ? S_OK
             : S_FALSE;
}

HRESULT PushSourcePin::GetMediaType(int position, dshow::CMediaType* type) {
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  return type->Set(settings_->type);
}

HRESULT PushSourcePin::DecideBufferSize(IMemAllocator* allocator,
                                        ALLOCATOR_PROPERTIES* properties) {
  size_t largest = std::max<size_t>(1, settings_->largestFrameBytes);
  for (const SourceFrame& frame : settings_->frames)
    largest = std::max(largest, frame.bytes.size());
  properties->cBuffers = std::max<long>(properties->cBuffers, 2);
  properties->cbBuffer = std::max<long>(properties->cbBuffer, static_cast<long>(largest));
  ALLOCATOR_PROPERTIES granted{};
  const HRESULT result = allocator->SetProperties(properties, &granted);
  if (FAILED(result)) return result;
  return granted.cbBuffer >= properties->cbBuffer ? S_OK : E_FAIL;
}

HRESULT PushSourcePin::Active() {
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

HRESULT PushSourcePin::Inactive() {
  // Decommit first: a delivery waiting for a buffer then fails and the thread ends.
  stopping_ = true;
  const HRESULT result = CBaseOutputPin::Inactive();
  StopDelivery();
  return result;
}

void PushSourcePin::StopDelivery() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
}

void PushSourcePin::Deliver() {
  long long sampleNumber = 0;
  SourceFrame scratch;
  for (int round = 0; round < settings_->repeat; ++round) {
    for (std::int64_t index = 0;; ++index) {
      if (stopping_) return;
      const SourceFrame* frame = FrameAt(index, scratch);
      if (!frame) break;
      if (!Send(*frame, sampleNumber)) return;
      ++sampleNumber;
    }
  }
  DeliverEndOfStream();
}

const SourceFrame* PushSourcePin::FrameAt(std::int64_t index, SourceFrame& scratch) const {
  if (settings_->supplier) return settings_->supplier(index, scratch) ? &scratch : nullptr;
  if (static_cast<std::uint64_t>(index) >= settings_->frames.size()) return nullptr;
  return &settings_->frames[static_cast<std::size_t>(index)];
}

bool PushSourcePin::Send(const SourceFrame& frame, long long sampleNumber) {
  win32::ComPtr<IMediaSample> sample;
  if (FAILED(GetDeliveryBuffer(sample.Put(), nullptr, nullptr, 0)) || !sample) return false;
  BYTE* data = nullptr;
  if (FAILED(sample->GetPointer(&data))) return false;
  const long bytes = std::min<long>(sample->GetSize(), static_cast<long>(frame.bytes.size()));
  std::memcpy(data, frame.bytes.data(), static_cast<size_t>(bytes));
  sample->SetActualDataLength(bytes);
  REFERENCE_TIME start = sampleNumber * settings_->framePeriod;
  REFERENCE_TIME stop = start + settings_->framePeriod;
  sample->SetTime(&start, &stop);
  sample->SetSyncPoint(TRUE);
  sample->SetDiscontinuity(sampleNumber == 0);
  if (frame.announcedType) sample->SetMediaType(frame.announcedType.get());
  return CBaseOutputPin::Deliver(sample.Get()) == S_OK;
}

PushSource::PushSource(SourceSettings settings)
    : CBaseFilter(nullptr, &lock_, kSourceClsid), settings_(std::move(settings)) {}

PushSource::~PushSource() {
  if (pin_) pin_->Inactive();
}

dshow::CBasePin* PushSource::GetPin(int index) {
  if (index != 0) return nullptr;
  std::lock_guard<win32::CriticalSection> guard(lock_);
  if (!pin_) pin_.reset(new (std::nothrow) PushSourcePin(this, &lock_, &settings_));
  return pin_.get();
}

}  // namespace halvaris::graph
