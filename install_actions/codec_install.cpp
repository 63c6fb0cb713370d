// Replacing and removing the family's QuickTime components in QuickTime's components folder.
#include <windows.h>

#include <shellapi.h>

#include <optional>
#include <string>

#include "install_actions.h"
#include "message_box.h"
#include "registry_value.h"

namespace halvaris::install {
namespace {

constexpr char quickTimeKey[] = "SOFTWARE\\Apple Computer, Inc.\\QuickTime\\";
constexpr char componentsFolderValue[] = "QTComponentsDir";

// Older components that the new ones replace, removed before the copy.
constexpr const char* replacedComponents[] = {"halvarisQuicktime11.qtx", "halvarisQuicktime12.qtx",
                                              "halvarisQuicktime13.qtx", "halvarisQuicktime14.qtx"};

// The components that an uninstall takes away.
constexpr const char* removedComponents[] = {"halvarisQuicktime1.qtx", "halvarisQuicktime2.qtx",
                                             "halvarisQuicktime3.qtx", "halvarisQuicktime4.qtx",
                                             "halvarisQuicktime7.qtx", "halvarisQuicktime8.qtx"};

constexpr char removeQuestion[] =
    "Halvaris files in use, could not remove them. Close all QuickTime programs. Abort install?";
constexpr char copyQuestion[] =
    "Halvaris files in use, could not copy over them. Close all QuickTime programs before running "
    "this installer. Abort install?";
constexpr char controlPanelQuestion[] = "Would you like to start the Control Panel?";

// The components folder is used as a prefix: the registry value is expected to end in a
// separator, and none is added.
// QuickTime for Windows is a 32-bit program, so on 64-bit Windows its settings live in the
// registry's 32-bit view; a 64-bit module reading its own view would find no QuickTime at all.
// On 32-bit Windows, and for a 32-bit module, the flag changes nothing.
std::optional<std::string> ReadComponentsFolder() {
  return ReadMachineFolderValue(quickTimeKey, componentsFolderValue, KEY_WOW64_32KEY);
}

// A shell file operation takes lists of paths, each ended by a zero and the list by another.
std::string ShellPathList(const std::string& path) {
  return path + '\0';
}

int CopyComponents(const std::string& installFolder, const std::string& componentsFolder) {
  const std::string source = ShellPathList(installFolder + "\\qtfiles\\*.qtx");
  const std::string destination = ShellPathList(componentsFolder);

  SHFILEOPSTRUCTA operation = {};
  operation.hwnd = nullptr;
  operation.wFunc = FO_COPY;
  operation.pFrom = source.c_str();
  operation.pTo = destination.c_str();
  // Existing components are replaced and a missing folder is created without asking.
  operation.fFlags = FOF_MULTIDESTFILES | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;
  return SHFileOperationA(&operation);
}

std::int32_t CompleteCodecInstallSteps(const char* installFolder) {
  const std::optional<std::string> componentsFolder = ReadComponentsFolder();
  if (!componentsFolder) return 1;  // No QuickTime: nothing to replace.

  for (const char* name : replacedComponents) {
    const std::string path = *componentsFolder + name;
    if (DeleteFileA(path.c_str())) continue;
    // Access denied means QuickTime holds the file; any other failure usually means the file
    // was never there.
    if (GetLastError() == ERROR_ACCESS_DENIED && AskYesNo(removeQuestion)) return 0;
  }

  if (CopyComponents(installFolder != nullptr ? installFolder : "", *componentsFolder) != 0 &&
      AskYesNo(copyQuestion)) {
    return 0;
  }

  if (AskYesNo(controlPanelQuestion)) LaunchControlPanel(installFolder);
  return 1;
}

}  // namespace
}  // namespace halvaris::install

using namespace halvaris::install;

std::int32_t __cdecl CompleteCodecInstall(std::int32_t /*unused*/, const char* installFolder) {
  // Nothing may escape to the installer; running out of memory here leaves the install going.
  try {
    return CompleteCodecInstallSteps(installFolder);
  } catch (...) {
    return 1;
  }
}

std::int32_t __cdecl CompleteCodecUnInstall() {
  try {
    if (const std::optional<std::string> componentsFolder = ReadComponentsFolder()) {
      // A component that is absent or held open stays; the uninstall goes on regardless.
      for (const char* name : removedComponents) DeleteFileA((*componentsFolder + name).c_str());
    }
  } catch (...) {
  }
  return 1;
}
