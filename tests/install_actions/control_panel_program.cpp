// A stand-in for the product's Control Panel program: it only leaves its mark and exits.
#include <windows.h>

#include <fstream>
#include <string>

#include "control_panel_mark.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using namespace halvaris::install::test;
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  folder.erase(folder.find_last_of('\\'));

  std::ofstream(folder + "\\" + controlPanelMarkName) << "started\n";
  if (HANDLE started =
          OpenEventA(EVENT_MODIFY_STATE, FALSE, ControlPanelStartedEventName(folder).c_str())) {
    SetEvent(started);
    CloseHandle(started);
  }
  return 0;
}
