// Registering the family's file I/O plug-in with the editor, and finishing the product's install
// and uninstall.
#include <windows.h>

#include <msi.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "install_actions.h"
#include "message_box.h"
#include "path_parts.h"
#include "registry_value.h"
#include "windows_installer.h"

namespace halvaris::install {
namespace {

constexpr char configFileName[] = "Torvek.fio2007-config";
constexpr char appPathKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\vegas90.exe";
constexpr char appPathValue[] = "Path";
constexpr char controlPanelQuestion[] = "Would you like to start the Control Panel program?";

// An edition of the editor as Windows Installer knows it.
struct EditorEdition {
  const char* upgradeCode;
  const char* componentCode;
  const char* entrySuffix;
};

constexpr EditorEdition edition64 = {"{9D9A2BDC-7D6B-4C55-B8D7-3F17C2243D43}",
                                     "{C1E1DBD5-D391-431B-B705-36C8D64871C9}",
                                     "\\HalvarisVegas90-64.dll"};
constexpr EditorEdition edition32 = {"{1DE4F5A5-CA5F-4A3E-819A-4D930C9EF443}",
                                     "{497E2709-4434-40D3-B52D-9BE98071B4C0}",
                                     "\\HalvarisVegas90.dll"};

// Room for a braced GUID and its terminator.
constexpr std::size_t productCodeSize = 40;

struct EditionLookup {
  char productCode[productCodeSize] = {};
  char componentPath[MAX_PATH] = {};
};

void FindProduct(const WindowsInstaller& installer, const EditorEdition& edition,
                 EditionLookup& lookup) {
  // A failed search leaves the product code empty, and the component lookup then finds nothing.
  installer.EnumRelatedProducts(edition.upgradeCode, 0, 0, lookup.productCode);
  lookup.productCode[productCodeSize - 1] = '\0';
}

// Leaves the component path empty when the edition or its component is not there.
void FindComponentPath(const WindowsInstaller& installer, const EditorEdition& edition,
                       EditionLookup& lookup) {
  lookup.componentPath[0] = '\0';
  DWORD size = MAX_PATH;
  const INT state = installer.GetComponentPath(lookup.productCode, edition.componentCode,
                                               lookup.componentPath, &size);
  // A path cut short would name some other folder.
  if (state == INSTALLSTATE_MOREDATA) lookup.componentPath[0] = '\0';
  lookup.componentPath[MAX_PATH - 1] = '\0';
}

bool IsNative64BitWindows() {
  SYSTEM_INFO info = {};
  GetNativeSystemInfo(&info);
  return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
         info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

bool WriteEditorPluginConfig(const char* componentPath, const char* pluginFolder,
                             const char* entrySuffix) {
  const std::string editorFolder = FolderPart(componentPath);
  if (editorFolder.empty()) return false;

  // Text mode: the editor expects CR LF line ends.
  FileHandle file(std::fopen((editorFolder + configFileName).c_str(), "w"));
  if (!file) return false;
  const bool written =
      std::fputs("[FileIO Plug-Ins]\n", file.get()) >= 0 &&
      std::fprintf(file.get(), "TorvekMxfPlug=%s%s\n", pluginFolder, entrySuffix) >= 0;
  return std::fclose(file.release()) == 0 && written;
}

}  // namespace halvaris::install

using namespace halvaris::install;

std::int32_t __cdecl RegisterHalvarisVegas90(const char* pluginFolder) {
  try {
    if (pluginFolder == nullptr) pluginFolder = "";
    const WindowsInstaller installer;
    EditionLookup lookup32;
    EditionLookup lookup64;
    FindProduct(installer, edition32, lookup32);
    FindProduct(installer, edition64, lookup64);
    FindComponentPath(installer, edition32, lookup32);
    FindComponentPath(installer, edition64, lookup64);

    // A file that cannot be written skips that edition; there is no one to tell.
    if (IsNative64BitWindows() && lookup64.componentPath[0] != '\0') {
      WriteEditorPluginConfig(lookup64.componentPath, pluginFolder, edition64.entrySuffix);
    }
    if (lookup32.componentPath[0] != '\0') {
      WriteEditorPluginConfig(lookup32.componentPath, pluginFolder, edition32.entrySuffix);
    }
  } catch (...) {
  }
  return 0;
}

std::int32_t __cdecl CompleteHalvarisUninstall() {
  try {
    // The value is a prefix that is expected to end in a separator; none is added.
    if (const std::optional<std::string> editorFolder =
            ReadMachineFolderValue(appPathKey, appPathValue)) {
      DeleteFileA((*editorFolder + configFileName).c_str());
    }
  } catch (...) {
  }
  return 0;
}

std::int32_t __cdecl CompleteHalvarisInstall(const char* installFolder) {
  try {
    if (AskYesNo(controlPanelQuestion)) LaunchControlPanel(installFolder);
  } catch (...) {
  }
  return 0;
}
