// What the transform base does around Transform: times and flags copied onto the output sample,
// end of stream, flushes and new segments passed downstream, nothing delivered while flushing.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

#include "filter_test_support.h"

namespace halvaris::filter::testing {
namespace {

using win32::ComPtr;

struct Arrival {
  HRESULT timeResult;
  REFERENCE_TIME start, stop;
  HRESULT mediaTimeResult;
  LONGLONG mediaStart, mediaStop;
  bool syncPoint, discontinuity, preroll;
};

// A renderer-like filter whose one input pin records what reaches it.
class RecordingSink : public dshow::CBaseFilter {
 public:
  class Pin : public dshow::CBaseInputPin {
   public:
    Pin(RecordingSink* sink, win32::CriticalSection* lock)
        : CBaseInputPin(sink, lock, L"In"), sink_(sink) {}
    HRESULT CheckMediaType(const dshow::CMediaType*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override {
      const HRESULT result = CBaseInputPin::Receive(sample);
      if (result != S_OK) return result;
      Arrival arrival{};
      arrival.timeResult = sample->GetTime(&arrival.start, &arrival.stop);
      arrival.mediaTimeResult = sample->GetMediaTime(&arrival.mediaStart, &arrival.mediaStop);
      arrival.syncPoint = sample->IsSyncPoint() == S_OK;
      arrival.discontinuity = sample->IsDiscontinuity() == S_OK;
      arrival.preroll = sample->IsPreroll() == S_OK;
      sink_->arrivals.push_back(arrival);
      return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EndOfStream() override {
      sink_->events.push_back("end of stream");
      return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BeginFlush() override {
      sink_->events.push_back("begin flush");
      return CBaseInputPin::BeginFlush();
    }
    HRESULT STDMETHODCALLTYPE EndFlush() override {
      sink_->events.push_back("end flush");
      return CBaseInputPin::EndFlush();
    }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                         double rate) override {
      sink_->events.push_back("segment " + std::to_string(start) + ".." + std::to_string(stop) +
                              " at " + std::to_string(rate));
      return S_OK;
    }

   private:
    RecordingSink* sink_;
  };

  RecordingSink() : CBaseFilter(nullptr, &lock_, GUID_NULL), pin_(this, &lock_) {}
  int GetPinCount() override { return 1; }
  dshow::CBasePin* GetPin(int index) override { return index == 0 ? &pin_ : nullptr; }

  std::vector<Arrival> arrivals;
  std::vector<std::string> events;

 private:
  win32::CriticalSection lock_;
  Pin pin_;
};

// A sample that announces `type` and, the first time it is asked for it, holds the caller
// until LetGo() (so another thread can act while a Receive is under way).
class HeldSample : public IMediaSample {
 public:
  HeldSample(IMediaSample* inner, const dshow::CMediaType& type)
      : inner_(inner),
        type_(type),
        entered_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        released_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

  HANDLE Entered() const { return entered_.Get(); }
  void LetGo() { SetEvent(released_.Get()); }

  // Lives on the test's stack, longer than any call into it.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMediaSample)) {
      *object = static_cast<IMediaSample*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** type) override {
    if (!type) return E_POINTER;
    if (!asked_.exchange(true)) {
      SetEvent(entered_.Get());
      WaitForSingleObject(released_.Get(), INFINITE);
    }
    *type = dshow::CreateMediaType(&type_);
    return *type ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE GetPointer(BYTE** data) override { return inner_->GetPointer(data); }
  long STDMETHODCALLTYPE GetSize() override { return inner_->GetSize(); }
  HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override {
    return inner_->GetTime(start, stop);
  }
  HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override {
    return inner_->SetTime(start, stop);
  }
  HRESULT STDMETHODCALLTYPE IsSyncPoint() override { return inner_->IsSyncPoint(); }
  HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL value) override {
    return inner_->SetSyncPoint(value);
  }
  HRESULT STDMETHODCALLTYPE IsPreroll() override { return inner_->IsPreroll(); }
  HRESULT STDMETHODCALLTYPE SetPreroll(BOOL value) override { return inner_->SetPreroll(value); }
  long STDMETHODCALLTYPE GetActualDataLength() override { return inner_->GetActualDataLength(); }
  HRESULT STDMETHODCALLTYPE SetActualDataLength(long length) override {
    return inner_->SetActualDataLength(length);
  }
  HRESULT STDMETHODCALLTYPE IsDiscontinuity() override { return inner_->IsDiscontinuity(); }
  HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL value) override {
    return inner_->SetDiscontinuity(value);
  }
  HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG* start, LONGLONG* stop) override {
    return inner_->GetMediaTime(start, stop);
  }
  HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG* start, LONGLONG* stop) override {
    return inner_->SetMediaTime(start, stop);
  }

 private:
  IMediaSample* inner_;
  dshow::CMediaType type_;
  win32::UniqueHandle entered_;
  win32::UniqueHandle released_;
  std::atomic<bool> asked_{false};
};

class StreamControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sinkObject_ = new RecordingSink;
    sink_ = ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(sinkObject_));
    source_ = MakeSource(Dvh1MediaType(2));
    ASSERT_EQ(source_.output->Connect(decoder_.input.Get(), nullptr), S_OK);
    ASSERT_EQ(decoder_.output->Connect(sinkObject_->GetPin(0), nullptr), S_OK);
    ASSERT_EQ(decoder_.input.As(memInput_), S_OK);
    // The source stays stopped: the test itself feeds the decoder's input pin.
    ASSERT_EQ(sink_->Pause(), S_OK);
    ASSERT_EQ(decoder_.filter->Pause(), S_OK);
    frame_ = TestFrame(2);
  }
  void TearDown() override {
    EXPECT_EQ(decoder_.filter->Stop(), S_OK);
    EXPECT_EQ(sink_->Stop(), S_OK);
  }

  AllocatedSample Frame() {
    AllocatedSample sample = MakeSample(static_cast<long>(frame_.size()));
    std::copy(frame_.begin(), frame_.end(), sample.data);
    sample.sample->SetActualDataLength(static_cast<long>(frame_.size()));
    return sample;
  }

  DecoderInstance decoder_ = MakeDecoder();
  SourceInstance source_;
  RecordingSink* sinkObject_ = nullptr;
  ComPtr<IBaseFilter> sink_;
  ComPtr<IMemInputPin> memInput_;
  std::vector<std::uint8_t> frame_;
};

TEST_F(StreamControlTest, TimesAndFlagsOfTheInputSampleReachTheOutputSample) {
  AllocatedSample flagged = Frame();
  REFERENCE_TIME start = 1000, stop = 2000;
  LONGLONG mediaStart = 7, mediaStop = 8;
  flagged.sample->SetTime(&start, &stop);
  flagged.sample->SetMediaTime(&mediaStart, &mediaStop);
  flagged.sample->SetSyncPoint(TRUE);
  flagged.sample->SetDiscontinuity(TRUE);
  flagged.sample->SetPreroll(TRUE);
  ASSERT_EQ(memInput_->Receive(flagged.sample.Get()), S_OK);

  AllocatedSample plain = Frame();
  plain.sample->SetTime(&stop, nullptr);
  plain.sample->SetSyncPoint(FALSE);
  plain.sample->SetDiscontinuity(FALSE);
  plain.sample->SetPreroll(FALSE);
  ASSERT_EQ(memInput_->Receive(plain.sample.Get()), S_OK);

  ASSERT_EQ(sinkObject_->arrivals.size(), 2u);
  const Arrival& first = sinkObject_->arrivals[0];
  EXPECT_EQ(first.timeResult, S_OK);
  EXPECT_EQ(first.start, 1000);
  EXPECT_EQ(first.stop, 2000);
  EXPECT_EQ(first.mediaTimeResult, S_OK);
  EXPECT_EQ(first.mediaStart, 7);
  EXPECT_EQ(first.mediaStop, 8);
  EXPECT_TRUE(first.syncPoint);
  EXPECT_TRUE(first.discontinuity);
  EXPECT_TRUE(first.preroll);
  const Arrival& second = sinkObject_->arrivals[1];
  EXPECT_EQ(second.timeResult, VFW_S_NO_STOP_TIME);
  EXPECT_EQ(second.start, 2000);
  EXPECT_NE(second.mediaTimeResult, S_OK);
  EXPECT_FALSE(second.syncPoint);
  EXPECT_FALSE(second.discontinuity);
  EXPECT_FALSE(second.preroll);
}

TEST_F(StreamControlTest, StreamEventsArePassedDownstreamAndFlushingDropsSamples) {
  ComPtr<IPin> input = decoder_.input;
  ASSERT_EQ(input->NewSegment(10, 20, 1.5), S_OK);
  ASSERT_EQ(input->BeginFlush(), S_OK);
  AllocatedSample sample = Frame();
  EXPECT_EQ(memInput_->Receive(sample.sample.Get()), S_FALSE);
  ASSERT_EQ(input->EndFlush(), S_OK);
  EXPECT_EQ(memInput_->Receive(sample.sample.Get()), S_OK);
  ASSERT_EQ(input->EndOfStream(), S_OK);
  EXPECT_EQ(sinkObject_->arrivals.size(), 1u);
  const std::vector<std::string> expected = {"segment 10..20 at 1.500000", "begin flush",
                                             "end flush", "end of stream"};
  EXPECT_EQ(sinkObject_->events, expected);
}

TEST_F(StreamControlTest, StoppedFilterRefusesSamples) {
  ASSERT_EQ(decoder_.filter->Stop(), S_OK);
  AllocatedSample sample = Frame();
  EXPECT_EQ(memInput_->Receive(sample.sample.Get()), VFW_E_WRONG_STATE);
  EXPECT_TRUE(sinkObject_->arrivals.empty());
}

TEST_F(StreamControlTest, StopWhileASampleAnnouncingATypeIsReceivedCompletes) {
  AllocatedSample frame = Frame();
  HeldSample held(frame.sample.Get(), Dvh1MediaType(2));
  HRESULT stopped = E_FAIL;
  const win32::UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<int> finished{0};
  auto finish = [&] {
    if (++finished == 2) SetEvent(done.Get());
  };
  std::thread receiving([&] {
    memInput_->Receive(&held);
    finish();
  });
  ASSERT_EQ(WaitForSingleObject(held.Entered(), 10000), WAIT_OBJECT_0);
  std::thread stopping([&] {
    stopped = decoder_.filter->Stop();
    finish();
  });
  // Let Stop get as far as waiting for the sample, then let the sample go on.
  Sleep(300);
  held.LetGo();
  if (WaitForSingleObject(done.Get(), 10000) != WAIT_OBJECT_0) {
    // Both threads are stuck for good: report and leave, as nothing can be cleaned up.
    ADD_FAILURE() << "Stop and Receive deadlocked";
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 1);
  }
  receiving.join();
  stopping.join();
  EXPECT_EQ(stopped, S_OK);
  FILTER_STATE state = State_Running;
  EXPECT_EQ(decoder_.filter->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Stopped);
}

}  // namespace
}  // namespace halvaris::filter::testing
