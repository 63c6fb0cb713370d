#include "user_interface.h"

#include <shellapi.h>

#include <atomic>

namespace halvaris::filter {
namespace {

void ShowMessageBox(const char* text, const char* caption) {
  MessageBoxA(nullptr, text, caption, MB_OK);
}

void OpenWithShell(HWND owner, const char* address) {
  // A failure has nothing to tell the user: the button simply does nothing.
  ShellExecuteA(owner, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

std::atomic<void (*)(const char*, const char*)> messageFunction{&ShowMessageBox};
std::atomic<void (*)(HWND, const char*)> openFunction{&OpenWithShell};

}  // namespace

UserInterface SetUserInterface(const UserInterface& replacement) {
  UserInterface previous{messageFunction.load(), openFunction.load()};
  messageFunction = replacement.showMessage ? replacement.showMessage : &ShowMessageBox;
  openFunction = replacement.openAddress ? replacement.openAddress : &OpenWithShell;
  return previous;
}

void ShowMessage(const char* text, const char* caption) {
  messageFunction.load()(text, caption);
}

void OpenAddress(HWND owner, const char* address) {
  openFunction.load()(owner, address);
}

}  // namespace halvaris::filter
