// The processor check, which first asks a running Control Panel program to close.
#include <cpuid.h>
#include <windows.h>

#include "install_actions.h"

namespace halvaris::install {

// Registered while the module's static data are initialised, that is once per load; the Control
// Panel program registers the same name and so receives the same identifier.
const unsigned int closeControlPanelMessage =
    RegisterWindowMessageA("Halvaris Message Close Control Panel");

bool HasRequiredProcessorFeatures(std::uint32_t cpuidLeaf1Edx) {
  constexpr std::uint32_t mmx = 1u << 23;
  constexpr std::uint32_t sse = 1u << 25;
  constexpr std::uint32_t sse2 = 1u << 26;
  constexpr std::uint32_t required = mmx | sse | sse2;
  return (cpuidLeaf1Edx & required) == required;
}

}  // namespace halvaris::install

std::int32_t __cdecl VerifyCPU() {
  using namespace halvaris::install;
  // Posted, not sent: the installer must not wait on whatever window gets it.
  PostMessageA(HWND_BROADCAST, closeControlPanelMessage, 0, 0);

  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return 0;
  return HasRequiredProcessorFeatures(edx) ? 1 : 0;
}
