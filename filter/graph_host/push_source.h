#pragma once

// A push source that delivers compressed frames, one per sample, with time stamps, then ends the
// stream. It starts delivering when paused, as a live source would.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "base/base_pins.h"

namespace halvaris::graph {

struct SourceFrame {
  std::vector<std::uint8_t> bytes;
  // Attached to this frame's sample when set (a type change announced in the stream).
  std::shared_ptr<dshow::CMediaType> announcedType;
};

// Puts frame `index` (from 0) into `frame`, called as the frame is due to be sent; false when
// there is none, which ends the stream (a supplier that failed keeps why).
using FrameSupplier = std::function<bool(std::int64_t index, SourceFrame& frame)>;

struct SourceSettings {
  dshow::CMediaType type;  // the one type the pin offers
  // The frames to send: asked for one at a time from `supplier` when it is set, else those of
  // `frames`.
  std::vector<SourceFrame> frames;
  FrameSupplier supplier;
  std::size_t largestFrameBytes = 0;    // with a supplier: the longest frame it hands out
  int repeat = 1;                       // the frames are sent this many times
  REFERENCE_TIME framePeriod = 333667;  // 100 ns units per frame
};

class PushSource;

class PushSourcePin : public dshow::CBaseOutputPin {
 public:
  PushSourcePin(PushSource* filter, win32::CriticalSection* lock, const SourceSettings* settings);
  ~PushSourcePin() override;

  HRESULT CheckMediaType(const dshow::CMediaType* type) override;
  HRESULT GetMediaType(int position, dshow::CMediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;
  HRESULT Active() override;
  HRESULT Inactive() override;

 private:
  void Deliver();
  // The frame to send as `index` of a round: one of the list, or `scratch` filled by the supplier.
  const SourceFrame* FrameAt(std::int64_t index, SourceFrame& scratch) const;
  // False when the graph refused the sample or no buffer could be had: delivery ends.
  bool Send(const SourceFrame& frame, long long sampleNumber);
  void StopDelivery();

  const SourceSettings* settings_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
};

class PushSource : public dshow::CBaseFilter {
 public:
  explicit PushSource(SourceSettings settings);
  ~PushSource() override;

  int GetPinCount() override { return 1; }
  dshow::CBasePin* GetPin(int index) override;

 private:
  win32::CriticalSection lock_;
  SourceSettings settings_;
  std::unique_ptr<PushSourcePin> pin_;
};

}  // namespace halvaris::graph
