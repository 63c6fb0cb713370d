#pragma once

// The two things the Control Panel does with the decoder: show its property page and register
// it again.

#include <windows.h>

#include <string>

namespace halvaris::control_panel {

// Creates the registered decoder filter and shows its property pages in a modal frame owned by
// `owner`; returns when the frame is closed. Needs COM on the calling thread.
HRESULT ShowDecoderProperties(HWND owner);

// Loads the module at `path` and calls its DllRegisterServer.
HRESULT RegisterDecoderModule(const std::wstring& path);

// The decoder module that was installed beside this program.
std::wstring InstalledDecoderPath();

// The folder of this program, with a trailing separator.
std::wstring ProgramFolder();

}  // namespace halvaris::control_panel
