#pragma once

// The Control Panel's one window: a dialog with the decoder's status and the buttons that act
// on it. It closes itself when an installer broadcasts the close message.

#include <windows.h>

namespace halvaris::control_panel {

// The message installers broadcast to close a running Control Panel before they replace it.
inline constexpr char kCloseControlPanelMessageName[] = "Halvaris Message Close Control Panel";

// Shows the dialog and returns when it is closed: 0 when closed normally or by the message,
// -1 when it could not be shown.
int RunControlPanelDialog(HINSTANCE instance);

}  // namespace halvaris::control_panel
