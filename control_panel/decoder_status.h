#pragma once

// What the Control Panel tells about the decoder on this machine: where the registered module
// is, its version, the merit graph building sees, and whether this processor can run it.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace halvaris::control_panel {

struct DecoderStatus {
  // The module named by the filter class's InprocServer32 key; empty when it is not registered.
  std::wstring modulePath;
  bool moduleExists = false;
  // The fixed file version of the module's version resource ("1.0.2.0"); empty when the module
  // has none or cannot be read.
  std::wstring fileVersion;
  // The merit of the filter as DirectShow's filter mapper lists it; none when it is not listed.
  std::optional<DWORD> merit;
  bool processorSupported = false;
  int workerCount = 1;
};

// Reads everything afresh. Needs COM on the calling thread (for the filter mapper's list).
DecoderStatus GatherDecoderStatus();

std::wstring RegisteredModulePath();
std::wstring ModuleFileVersion(const std::wstring& path);
std::optional<DWORD> ListedMerit();

// The merit inside the filter mapper's FilterData: the DWORD after the format version. None
// when the data are too short to hold it.
std::optional<DWORD> MeritFromFilterData(const std::vector<std::uint8_t>& filterData);

}  // namespace halvaris::control_panel
