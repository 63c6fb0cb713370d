#pragma once

// Shared helpers of the filter tests: COM set-up, what the module would show or open, test
// frames and their direct decode, samples from a real memory allocator, and paths under Wine.

#include <cstdint>
#include <string>
#include <vector>

#include "filter/base/class_factory.h"
#include "filter/base/media_type.h"
#include "filter/base/owners.h"
#include "filter/decoder_filter.h"
#include "filter/module_entries.h"
#include "filter/user_interface.h"
#include "tools/graph_decode/frame_source.h"

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

// One compressed test frame of a system ("testsrc2" or "detailed").
std::vector<std::uint8_t> ReadTestFrame(int system, const char* source = "testsrc2");

// The picture the frame decoder gives for `frame`, decoded directly at the coded size.
std::vector<std::uint8_t> DirectDecode(int system, const std::vector<std::uint8_t>& frame);

// A decoder filter made by the module's class factory (statically linked), with its object.
struct DecoderInstance {
  dshow::ComPtr<IBaseFilter> filter;
  DecoderFilter* object = nullptr;
  dshow::ComPtr<IPin> input;
  dshow::ComPtr<IPin> output;
};
DecoderInstance MakeDecoder();

// A frame source offering `type`, with its output pin.
struct SourceInstance {
  dshow::ComPtr<IBaseFilter> filter;
  dshow::ComPtr<IPin> output;
};
SourceInstance MakeSource(const dshow::CMediaType& type);

// A media sample of `bytes` bytes from a committed memory allocator of the platform.
struct AllocatedSample {
  dshow::ComPtr<IMemAllocator> allocator;
  dshow::ComPtr<IMediaSample> sample;
  std::uint8_t* data = nullptr;
};
AllocatedSample MakeSample(long bytes);

// A VIDEOINFOHEADER type with the given format block size (the header is cut when shorter).
dshow::CMediaType VideoType(const GUID& subtype, DWORD compression, LONG width, LONG height,
                            WORD bitCount, DWORD imageSize, ULONG formatBytes = 88);

// "Z:\..." for an absolute Unix path, as Windows programs under Wine see it.
std::string WindowsPath(const std::string& unixPath);

}  // namespace halvaris::filter::testing
