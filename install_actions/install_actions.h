// The actions that the product family's installer calls in TorvekInstallHelper.dll, and the steps
// they share. The exports keep C linkage and the caller-cleans-up convention; their names are
// fixed by TorvekInstallHelper.def.
#pragma once

#include <cstdint>

extern "C" {
// Replaces the family's QuickTime components. 1: carry on with the install; 0: the user chose
// to abort it. The first argument is passed by the installer and not used.
std::int32_t __cdecl CompleteCodecInstall(std::int32_t unused, const char* installFolder);
// Removes the family's QuickTime components. Always 1.
std::int32_t __cdecl CompleteCodecUnInstall();
// Writes the editor's plug-in configuration file for each installed edition. Always 0; the
// installer must not depend on it.
std::int32_t __cdecl RegisterHalvarisVegas90(const char* pluginFolder);
// Offers to start the Control Panel program. Always 0.
std::int32_t __cdecl CompleteHalvarisInstall(const char* installFolder);
// Removes the editor's plug-in configuration file. Always 0.
std::int32_t __cdecl CompleteHalvarisUninstall();
// 1 when the processor has MMX, SSE and SSE2; 0 otherwise. Asks a running Control Panel
// program to close first.
std::int32_t __cdecl VerifyCPU();
}

namespace halvaris::install {

// Starts installFolder\ControlPanel.exe through the shell; tells the user when it cannot.
void LaunchControlPanel(const char* installFolder);

// Writes "Torvek.fio2007-config" into the folder of componentPath, naming
// pluginFolder + entrySuffix. Returns false when nothing could be written.
bool WriteEditorPluginConfig(const char* componentPath, const char* pluginFolder,
                             const char* entrySuffix);

// The window message that asks the Control Panel program to close, registered when the module
// is loaded.
extern const unsigned int closeControlPanelMessage;

}  // namespace halvaris::install
