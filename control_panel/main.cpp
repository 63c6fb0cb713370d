// ControlPanel.exe: the Halvaris Control Panel, a small dialog that tells whether the decoder is
// registered and usable here, opens its property page, registers it again, and runs Tapwright
// on movies.
#include <windows.h>

#include "control_panel_dialog.h"
#include "win32_owners.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // The property frame and the folder dialog need a single-threaded apartment.
  const halvaris::win32::ComInitialization com(COINIT_APARTMENTTHREADED);
  if (FAILED(com.Result())) {
    MessageBoxA(nullptr, "COM could not be initialised.", "Halvaris Control Panel",
                MB_OK | MB_ICONSTOP);
    return 1;
  }
  return halvaris::control_panel::RunControlPanelDialog(instance) == 0 ? 0 : 1;
}
