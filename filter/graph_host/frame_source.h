#pragma once

// A push source that delivers a list of compressed frames, one per sample, with time stamps,
// then ends the stream. It starts delivering when paused, as a live source would.

#include <atomic>
#include <cstdint>
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

struct SourceSettings {
  dshow::CMediaType type;  // the one type the pin offers
  std::vector<SourceFrame> frames;
  int repeat = 1;                       // the frame list is sent this many times
  REFERENCE_TIME framePeriod = 333667;  // 100 ns units per frame
};

class FrameSource;

class FrameSourcePin : public dshow::CBaseOutputPin {
 public:
  FrameSourcePin(FrameSource* filter, win32::CriticalSection* lock, const SourceSettings* settings);
  ~FrameSourcePin() override;

  HRESULT CheckMediaType(const dshow::CMediaType* type) override;
  HRESULT GetMediaType(int position, dshow::CMediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;
  HRESULT Active() override;
  HRESULT Inactive() override;

 private:
  void Deliver();
  void StopDelivery();

  const SourceSettings* settings_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
};

class FrameSource : public dshow::CBaseFilter {
 public:
  explicit FrameSource(SourceSettings settings);
  ~FrameSource() override;

  int GetPinCount() override { return 1; }
  dshow::CBasePin* GetPin(int index) override;

 private:
  win32::CriticalSection lock_;
  SourceSettings settings_;
  std::unique_ptr<FrameSourcePin> pin_;
};

}  // namespace halvaris::graph
