#include "filter_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace halvaris::filter::testing {
namespace {

std::mutex recordMutex;
std::vector<ShownMessage> recordedMessages;
std::vector<std::string> recordedAddresses;

void RecordMessage(const char* text, const char* caption) {
  std::lock_guard<std::mutex> guard(recordMutex);
  recordedMessages.push_back({text ? text : "", caption ? caption : ""});
}

void RecordAddress(HWND, const char* address) {
  std::lock_guard<std::mutex> guard(recordMutex);
  recordedAddresses.push_back(address ? address : "");
}

// Every test program runs with COM initialised on its main thread.
class ComEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    com_ = std::make_unique<win32::ComInitialization>();
    ASSERT_TRUE(SUCCEEDED(com_->Result()));
  }
  void TearDown() override { com_.reset(); }

 private:
  std::unique_ptr<win32::ComInitialization> com_;
};

[[maybe_unused]] ::testing::Environment* const comEnvironment =
    ::testing::AddGlobalTestEnvironment(new ComEnvironment);

}  // namespace

UserInterfaceRecorder::UserInterfaceRecorder()
    : previous_(SetUserInterface({&RecordMessage, &RecordAddress})) {
  std::lock_guard<std::mutex> guard(recordMutex);
  recordedMessages.clear();
  recordedAddresses.clear();
}

UserInterfaceRecorder::~UserInterfaceRecorder() {
  SetUserInterface(previous_);
}

std::vector<ShownMessage> UserInterfaceRecorder::Messages() const {
  std::lock_guard<std::mutex> guard(recordMutex);
  return recordedMessages;
}

std::vector<std::string> UserInterfaceRecorder::OpenedAddresses() const {
  std::lock_guard<std::mutex> guard(recordMutex);
  return recordedAddresses;
}

std::vector<std::uint8_t> TestFrame(int system, const char* source) {
  std::vector<std::uint8_t> frame = halvaris::testing::ReadTestFrame(system, source);
  EXPECT_FALSE(frame.empty()) << "no test frame of system " << system << ", " << source;
  return frame;
}

HalvarisSystemInfo SystemInfo(int system) {
  HalvarisSystemInfo info{};
  EXPECT_EQ(halvaris_system_info(system, &info), HALVARIS_OK) << "system " << system;
  return info;
}

DecoderInstance MakeDecoder() {
  DecoderInstance instance;
  win32::ComPtr<IClassFactory> factory;
  EXPECT_EQ(dshow::BaseDllGetClassObject(DecoderFactoryTable(), kDecoderFilterClsid,
                                         IID_IClassFactory, factory.PutVoid()),
            S_OK);
  if (!factory) return instance;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, instance.filter.PutVoid()), S_OK);
  if (!instance.filter) return instance;
  instance.object =
      static_cast<DecoderFilter*>(static_cast<dshow::CBaseFilter*>(instance.filter.Get()));
  EXPECT_EQ(instance.filter->FindPin(L"XForm In", instance.input.Put()), S_OK);
  EXPECT_EQ(instance.filter->FindPin(L"XForm Out", instance.output.Put()), S_OK);
  return instance;
}

SourceInstance MakeSource(const dshow::CMediaType& type) {
  graph::SourceSettings settings;
  settings.type = type;
  settings.frames.push_back({std::vector<std::uint8_t>(16), nullptr});
  auto* source = new graph::PushSource(std::move(settings));
  SourceInstance instance;
  instance.filter = win32::ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(source));
  EXPECT_EQ(instance.filter->FindPin(L"Frames", instance.output.Put()), S_OK);
  return instance;
}

AllocatedSample MakeSample(long bytes) {
  AllocatedSample result;
  EXPECT_EQ(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IMemAllocator, result.allocator.PutVoid()),
            S_OK);
  if (!result.allocator) return result;
  ALLOCATOR_PROPERTIES wanted{1, bytes, 1, 0};
  ALLOCATOR_PROPERTIES granted{};
  EXPECT_EQ(result.allocator->SetProperties(&wanted, &granted), S_OK);
  EXPECT_EQ(result.allocator->Commit(), S_OK);
  EXPECT_EQ(result.allocator->GetBuffer(result.sample.Put(), nullptr, nullptr, 0), S_OK);
  if (!result.sample) return result;
  BYTE* data = nullptr;
  EXPECT_EQ(result.sample->GetPointer(&data), S_OK);
  result.data = data;
  return result;
}

dshow::CMediaType VideoType(const GUID& subtype, DWORD compression, LONG width, LONG height,
                            WORD bitCount, DWORD imageSize, ULONG formatBytes) {
  VIDEOINFOHEADER header{};
  header.AvgTimePerFrame = 400000;
  header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  header.bmiHeader.biWidth = width;
  header.bmiHeader.biHeight = height;
  header.bmiHeader.biPlanes = 1;
  header.bmiHeader.biBitCount = bitCount;
  header.bmiHeader.biCompression = compression;
  header.bmiHeader.biSizeImage = imageSize;
  dshow::CMediaType type;
  type.SetType(MEDIATYPE_Video);
  type.SetSubtype(subtype);
  type.SetFormatType(FORMAT_VideoInfo);
  type.SetSampleSize(imageSize);
  if (formatBytes > 0) {
    BYTE* block = type.AllocFormatBuffer(formatBytes);
    std::memcpy(block, &header, std::min<size_t>(formatBytes, sizeof(header)));
  }
  return type;
}

std::string WindowsPath(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

}  // namespace halvaris::filter::testing
