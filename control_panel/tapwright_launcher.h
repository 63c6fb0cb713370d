#pragma once

// Running Tapwright, the aperture tool, on movies or a folder the user picks. Tapwright talks
// to the user on a console and waits for Enter, so each run gets a console window of its own.

#include <windows.h>

#include <string>
#include <vector>

namespace halvaris::control_panel {

// The command line that runs `program` on one movie or folder, each quoted so that the
// program's argument parsing gives back exactly `target`.
std::wstring TapwrightCommandLine(const std::wstring& program, const std::wstring& target);

// Lets the user pick one or more QuickTime movies; empty when the dialog is cancelled.
std::vector<std::wstring> PickMovies(HWND owner);

// Lets the user pick a folder; empty when the dialog is cancelled.
std::wstring PickFolder(HWND owner);

// Posted to `notify` when a run of Tapwright could not be started: wParam is the Windows error.
constexpr UINT kTapwrightFailedMessage = WM_APP + 1;

// Runs `program` on each target in turn, each in a new console window, one after the other,
// on a thread of its own; returns at once. False when the thread could not be started.
bool StartTapwright(const std::wstring& program, std::vector<std::wstring> targets, HWND notify);

}  // namespace halvaris::control_panel
