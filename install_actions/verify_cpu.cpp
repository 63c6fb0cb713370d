// The processor check, which first asks a running Control Panel program to close.
#include <windows.h>

#include "install_actions.h"
#include "processor_check.h"

namespace halvaris::install {

// Registered while the module's static data are initialised, that is once per load; the Control
// Panel program registers the same name and so receives the same identifier.
const unsigned int closeControlPanelMessage =
    RegisterWindowMessageA("Halvaris Message Close Control Panel");

}  // namespace halvaris::install

std::int32_t __cdecl VerifyCPU() {
  using namespace halvaris::install;
  // Posted, not sent: the installer must not wait on whatever window gets it.
  PostMessageA(HWND_BROADCAST, closeControlPanelMessage, 0, 0);
  return halvaris::win32::ProcessorHasRequiredFeatures() ? 1 : 0;
}
