#pragma once

// Everything the module shows or starts goes through here: message boxes and opening the product
// web page. Tests install their own functions to see what would be shown or opened.

#include <windows.h>

namespace halvaris::filter {

struct UserInterface {
  // A modal message box with no owner window and an OK button.
  void (*showMessage)(const char* text, const char* caption);
  // Opens a web address in the user's browser.
  void (*openAddress)(HWND owner, const char* address);
};

// Installs `replacement` and returns what was installed before; {} restores the real functions.
UserInterface SetUserInterface(const UserInterface& replacement);

void ShowMessage(const char* text, const char* caption);
void OpenAddress(HWND owner, const char* address);

}  // namespace halvaris::filter
