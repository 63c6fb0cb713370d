#pragma once

#include <windows.h>

namespace halvaris::dshow {

// The module's own handle: what the entry point recorded, else the module holding this code
// (a test program that links the filter code directly).
HINSTANCE ModuleInstance();
void SetModuleInstance(HINSTANCE instance);

}  // namespace halvaris::dshow
