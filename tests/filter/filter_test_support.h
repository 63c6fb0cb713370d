#pragma once

// Shared helpers of the filter tests: COM set-up, what the module would show or open, test
// frames and their decode by the library alone, samples from a real memory allocator, and paths
// under Wine.

#include <cstdint>
#include <string>
#include <vector>

#include "base/class_factory.h"
#include "base/media_type.h"
#include "decoder_filter.h"
#include "dvh1_media_type.h"
#include "graph_host/push_source.h"
#include "halvaris/halvaris.h"
#include "module_entries.h"
#include "test_frames.h"
#include "user_interface.h"
#include "win32_owners.h"

namespace halvaris::filter::testing {

struct ShownMessage {
  std::string text;
  std::string caption;
};

// Replaces the module's message boxes and shell calls while it lives.
class UserInterfaceRecorder {
 public:
  UserInterfaceRecorder();
  ~UserInterfaceRecorder();
  UserInterfaceRecorder(const UserInterfaceRecorder&) = delete;
  UserInterfaceRecorder& operator=(const UserInterfaceRecorder&) = delete;

  std::vector<ShownMessage> Messages() const;
  std::vector<std::string> OpenedAddresses() const;

 private:
  UserInterface previous_;
};

// One committed test frame of a system ("testsrc2" or "detailed"); the test fails when it is
// missing, so that no comparison is made with an empty frame.
std::vector<std::uint8_t> TestFrame(int system, const char* source = "testsrc2");

// The picture the library alone gives for a frame, at the system's coded size.
using halvaris::testing::DecodePicture;

// Sizes of a video system 1..4.
HalvarisSystemInfo SystemInfo(int system);

// A decoder filter made by the module's class factory (statically linked), with its object.
struct DecoderInstance {
  win32::ComPtr<IBaseFilter> filter;
  DecoderFilter* object = nullptr;
  win32::ComPtr<IPin> input;
  win32::ComPtr<IPin> output;
};
DecoderInstance MakeDecoder();

// A frame source offering `type`, with its output pin.
struct SourceInstance {
  win32::ComPtr<IBaseFilter> filter;
  win32::ComPtr<IPin> output;
};
SourceInstance MakeSource(const dshow::CMediaType& type);

// A media sample of `bytes` bytes from a committed memory allocator of the platform.
struct AllocatedSample {
  win32::ComPtr<IMemAllocator> allocator;
  win32::ComPtr<IMediaSample> sample;
  std::uint8_t* data = nullptr;
};
AllocatedSample MakeSample(long bytes);

// A VIDEOINFOHEADER type with the given format block size (the header is cut when shorter).
dshow::CMediaType VideoType(const GUID& subtype, DWORD compression, LONG width, LONG height,
                            WORD bitCount, DWORD imageSize, ULONG formatBytes = 88);

// "Z:\..." for an absolute Unix path, as Windows programs under Wine see it.
std::string WindowsPath(const std::string& unixPath);

}  // namespace halvaris::filter::testing
