// The processor check asks a running Control Panel program to close: a window that registered
// the same message name, as that program does, receives the broadcast. Needs a display.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "win32_owners.h"

namespace {

constexpr char closeControlPanelName[] = "Halvaris Message Close Control Panel";

// A desktop of our own, so that the window lives on the display this program was started with
// and the broadcast reaches only the windows of this test.
class PrivateDesktop {
 public:
  PrivateDesktop()
      : desktop_(CreateDesktopA("halvaris-verify-cpu-test", nullptr, nullptr, 0, GENERIC_ALL,
                                nullptr)) {}
  ~PrivateDesktop() {
    if (desktop_ != nullptr) CloseDesktop(desktop_);
  }
  bool Enter() const { return desktop_ != nullptr && SetThreadDesktop(desktop_); }

 private:
  HDESK desktop_;
};

class ControlPanelStandIn {
 public:
  ControlPanelStandIn()
      : window_(CreateWindowExA(0, "STATIC", "Halvaris Control Panel (test)", WS_OVERLAPPED, 0, 0,
                                100, 100, nullptr, nullptr, nullptr, nullptr)) {}
  ~ControlPanelStandIn() {
    if (window_ != nullptr) DestroyWindow(window_);
  }
  HWND get() const { return window_; }

  int TakeQueued(UINT message) const {
    int count = 0;
    MSG queued;
    while (PeekMessageA(&queued, window_, message, message, PM_REMOVE)) {
      EXPECT_EQ(queued.wParam, 0u);
      EXPECT_EQ(queued.lParam, 0);
      ++count;
    }
    return count;
  }

 private:
  HWND window_;
};

std::string ModuleFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  return folder.substr(0, folder.find_last_of('\\'));
}

TEST(VerifyCPU, PostsTheCloseMessageToAllWindowsBeforeAnswering) {
  PrivateDesktop desktop;
  ASSERT_TRUE(desktop.Enter());
  const UINT closeMessage = RegisterWindowMessageA(closeControlPanelName);
  ASSERT_NE(closeMessage, 0u);
  ControlPanelStandIn controlPanel;
  ASSERT_NE(controlPanel.get(), nullptr) << "no window: the test needs a display";

  const halvaris::win32::LoadedModule module(
      LoadLibraryA((ModuleFolder() + "\\TorvekInstallHelper.dll").c_str()));
  ASSERT_TRUE(module);
  const auto verifyCpu = module.Export<std::int32_t(__cdecl*)()>("VerifyCPU");
  ASSERT_NE(verifyCpu, nullptr);

  EXPECT_EQ(controlPanel.TakeQueued(closeMessage), 0);
  // The window belongs to this thread, so a posted message is already queued when the call
  // returns; nothing has to be waited for.
  EXPECT_EQ(verifyCpu(), 1);
  EXPECT_EQ(controlPanel.TakeQueued(closeMessage), 1);
  EXPECT_EQ(verifyCpu(), 1);
  EXPECT_EQ(verifyCpu(), 1);
  EXPECT_EQ(controlPanel.TakeQueued(closeMessage), 2);
}

}  // namespace
