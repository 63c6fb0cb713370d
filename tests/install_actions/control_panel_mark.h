// How the test Control Panel program tells the tests that it was started: it leaves a file beside
// itself and signals an event whose name is made from its folder, so that tests running side by
// side never see each other's program.
#pragma once

#include <string>

namespace halvaris::install::test {

inline constexpr char controlPanelMarkName[] = "ControlPanel.started";

inline std::string ControlPanelStartedEventName(std::string folder) {
  for (char& c : folder) {
    if (c == '\\') c = '/';  // a backslash would name a kernel object namespace
  }
  return "HalvarisTestControlPanelStarted:" + folder;
}

}  // namespace halvaris::install::test
