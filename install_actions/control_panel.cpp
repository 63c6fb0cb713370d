// Offering the product's Control Panel program at the end of an install.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>

#include "install_actions.h"
#include "message_box.h"
#include "path_parts.h"

namespace halvaris::install {
namespace {

// Fixed room: 4096 bytes for the folder path, MAX_PATH for the program's full path as the shell
// gets it, 256 for the failure message. Everything put into them is bounded.
constexpr std::size_t folderPathSize = 4096;
constexpr std::size_t messageSize = 256;

void TellFailedToRun(const char* programPath) {
  char message[messageSize];
  // A long path cuts the message short rather than running past the buffer.
  std::snprintf(message, sizeof(message),
                "Failed to run %s, you can start it from the Windows Start Menu", programPath);
  TellUser(message);
}

}  // namespace

void LaunchControlPanel(const char* installFolder) {
  if (installFolder == nullptr) installFolder = "";
  const char programName[] = "ControlPanel.exe";

  char folderPath[folderPathSize];
  const int folderLength = std::snprintf(folderPath, sizeof(folderPath), "%s\\", installFolder);
  if (folderLength < 0 || static_cast<std::size_t>(folderLength) >= sizeof(folderPath)) {
    TellFailedToRun((std::string(installFolder) + "\\" + programName).c_str());
    return;
  }

  // Drive and directory of the folder path, followed by the program's name and extension.
  const std::string programPath = FolderPart(folderPath) + programName;
  char fullPath[MAX_PATH];
  const int fullLength = std::snprintf(fullPath, sizeof(fullPath), "%s", programPath.c_str());
  if (fullLength < 0 || static_cast<std::size_t>(fullLength) >= sizeof(fullPath)) {
    // A path that the shell cannot be handed whole names a program that cannot be started.
    TellFailedToRun(programPath.c_str());
    return;
  }

  const HINSTANCE result =
      ShellExecuteA(nullptr, "open", fullPath, nullptr, nullptr, SW_SHOWDEFAULT);
  if (reinterpret_cast<INT_PTR>(result) <= 32) TellFailedToRun(fullPath);
}

}  // namespace halvaris::install
